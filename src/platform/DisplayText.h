#pragma once
// Small texts the screens and messages show, made the same way everywhere.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A count with its thousands grouped by commas: 1234567 gives "1,234,567".
inline std::string withThousands(std::int64_t number)
{
    const std::string digits = std::to_string(number < 0 ? -number : number);
    std::string grouped = number < 0 ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

// What stands for a title when a file has none: its name without folder and
// extension ("/music/Side A.flac" gives "Side A"; ".hidden" stays as it is).
inline std::string fileNameWithoutExtension(const std::string& location)
{
    const std::size_t slash = location.find_last_of('/');
    std::string name = slash == std::string::npos ? location : location.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

} // namespace platform
