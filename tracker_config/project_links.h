// Where the project lives, for the About dialog's links. The build sets
// QUORVANE_REPOSITORY_URL (CMake cache variable of the same name, by
// default the source tree this program was built from).
#pragma once

#ifndef QUORVANE_REPOSITORY_URL
#error "the build defines QUORVANE_REPOSITORY_URL"
#endif
#define QUORVANE_README_URL QUORVANE_REPOSITORY_URL "/README.md"
