// Registry of creation functions keyed by type name.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "utils_exception.h"

namespace Utils {

// Maps a type name to a function that returns a new, default-constructed
// object of that type. Shared by all threads: lookups take the read side of
// the lock, registrations the write side.
template <class Base>
class Factory {
  public:
    using Creator = std::unique_ptr<Base> (*)();

    // Adds (or replaces) the creation function for typeName.
    void registerType(const std::string& typeName, Creator creator) {
        std::unique_lock<std::shared_mutex> lock(mutex_);
        creators_[typeName] = creator;
    }

    // New object of that type; Utils::Exception "Unknown factory type" for a
    // name never registered. The creation function runs outside the lock.
    std::unique_ptr<Base> create(const std::string& typeName) const {
        Creator creator = nullptr;
        {
            std::shared_lock<std::shared_mutex> lock(mutex_);
            auto it = creators_.find(typeName);
            if (it != creators_.end()) creator = it->second;
        }
        if (creator == nullptr) throw Exception("Unknown factory type");
        return creator();
    }

  private:
    mutable std::shared_mutex mutex_;
    std::map<std::string, Creator> creators_;
};

}  // namespace Utils
