/* Lists the trackers and looks for the one on PORT with the id ID.
 * usage: consumer PORT ID; exit status 0 when it is listed. */
#include <quorvane.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: consumer PORT ID\n");
        return 2;
    }
    DeviceInfo list[8];
    const int count = fenlarkGetDeviceList(list, 8);
    if (count < 0) {
        fprintf(stderr, "more than 8 trackers\n");
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        printf("%s %s firmware %u.%u\n", list[i].port, list[i].id, (unsigned)list[i].firmwareMajor,
               (unsigned)list[i].firmwareMinor);
        if (strcmp(list[i].port, argv[1]) == 0 && strcmp(list[i].id, argv[2]) == 0) return 0;
    }
    fprintf(stderr, "tracker %s on %s not found among %d\n", argv[2], argv[1], count);
    return 1;
}
