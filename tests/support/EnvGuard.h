// Sets environment variables for one test and restores them (in reverse order) when
// the guard goes away.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace pelidor::test {

class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

    void set(const char* name, const std::string& value) {
        save(name);
        ::setenv(name, value.c_str(), 1);
    }
    // Sets the variable, or unsets it when `value` is null.
    void set(const char* name, const char* value) {
        if (value == nullptr)
            unset(name);
        else
            set(name, std::string(value));
    }
    void unset(const char* name) {
        save(name);
        ::unsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had)
                ::setenv(it->name, it->value.c_str(), 1);
            else
                ::unsetenv(it->name);
        }
    }

private:
    void save(const char* name) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
    }
    struct Saved {
        const char* name;
        bool had;
        std::string value;
    };
    std::vector<Saved> saved_;
};

} // namespace pelidor::test
