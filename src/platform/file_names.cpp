#include "platform/file_names.h"

#include "platform/native.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {

namespace fs = std::filesystem;

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string> splitComponents(const std::string& name) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : name) {
        if (c == '/') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

// The entry of `dir` that matches `component` case-insensitively; empty if none.
std::string findNoCase(const fs::path& dir, const std::string& component) {
    std::error_code ec;
    std::vector<std::string> matches;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (EqualsNoCase(entry, component))
            matches.push_back(entry);
    }
    if (matches.empty())
        return {};
    // Directory order is arbitrary; pick the same entry every time.
    return *std::min_element(matches.begin(), matches.end());
}

} // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string ResolveFileName(const std::string& windowsName) {
    if (!native::NamesNeedResolving())
        return windowsName;
    std::string name = windowsName;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty())
        return name;

    const bool absolute = name.front() == '/';
    fs::path resolved = absolute ? fs::path("/") : fs::path();
    bool stillExists = true;
    for (const std::string& component : splitComponents(name)) {
        fs::path candidate = resolved / component;
        std::error_code ec;
        if (stillExists && component != "." && component != ".." &&
            !fs::exists(resolved.empty() ? fs::path(component) : candidate, ec)) {
            std::string match = findNoCase(resolved, component);
            if (match.empty())
                stillExists = false;
            else
                candidate = resolved / match;
        }
        resolved = candidate;
    }
    std::string out = resolved.string();
    if (name.back() == '/' && (out.empty() || out.back() != '/'))
        out += '/';
    return out;
}

} // namespace platform
