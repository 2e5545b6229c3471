// Two different 128-byte blocks with one MD5 (a published collision pair). The same
// bytes appended to both keep the collision, so any suffix makes two more such files.
#pragma once

#include <string>

namespace pelidor::test {

inline std::string fromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] != 0 && p[1] != 0; p += 2)
        out.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

inline const std::string kMd5CollisionA =
    fromHex("d131dd02c5e6eec4693d9a0698aff95c2fcab58712467eab4004583eb8fb7f89"
            "55ad340609f4b30283e488832571415a085125e8f7cdc99fd91dbdf280373c5b"
            "d8823e3156348f5bae6dacd436c919c6dd53e2b487da03fd02396306d248cda0"
            "e99f33420f577ee8ce54b67080a80d1ec69821bcb6a8839396f9652b6ff72a70");
inline const std::string kMd5CollisionB =
    fromHex("d131dd02c5e6eec4693d9a0698aff95c2fcab50712467eab4004583eb8fb7f89"
            "55ad340609f4b30283e4888325f1415a085125e8f7cdc99fd91dbd7280373c5b"
            "d8823e3156348f5bae6dacd436c919c6dd53e23487da03fd02396306d248cda0"
            "e99f33420f577ee8ce54b67080280d1ec69821bcb6a8839396f965ab6ff72a70");

} // namespace pelidor::test
