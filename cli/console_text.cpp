#include "cli/console_text.h"

#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace cli {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argv;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    if (wide != nullptr) {
        for (int i = 0; i < count; ++i) {
            const int size =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(size > 0 ? static_cast<std::size_t>(size - 1) : 0, '\0');
            if (size > 1) {
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
            }
            out.push_back(std::move(arg));
        }
        LocalFree(wide);
        return out;
    }
    return std::vector<std::string>(argv, argv + argc);
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

std::filesystem::path pathFromArgument(const std::string& utf8) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return std::filesystem::path(utf8);
#endif
}

void printError(const std::string& text) {
    std::fprintf(stderr, "tallyforge-cli: %s\n", text.c_str());
}

} // namespace cli
