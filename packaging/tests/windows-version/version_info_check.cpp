// Reads each file's version resource as Windows programs do (GetFileVersionInfoW,
// VerQueryValueW) and checks it against the project's version and the file's name.
// A file named NAME by --own keeps a block of its own: only its presence and
// its fixed file and product version (OWN_VERSION) are checked.
//   version_info_check VERSION [--own NAME OWN_VERSION] FILE...
// Prints what it read, one line a file; exit status 1 when any file is wrong.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

bool parseVersion(const wchar_t* text, WORD parts[4])
{
    for (int i = 0; i < 4; ++i) {
        parts[i] = 0;
    }
    int count = 0;
    const wchar_t* at = text;
    while (count < 4) {
        wchar_t* end = nullptr;
        unsigned long value = std::wcstoul(at, &end, 10);
        if (end == at || value > 0xFFFF) {
            return false;
        }
        parts[count++] = static_cast<WORD>(value);
        if (*end == L'\0') {
            return true;
        }
        if (*end != L'.') {
            return false;
        }
        at = end + 1;
    }
    return false;
}

std::wstring baseName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

class FileVersion {
public:
    explicit FileVersion(const std::wstring& path)
    {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (size == 0) {
            return;
        }
        data_.resize(size);
        if (!GetFileVersionInfoW(path.c_str(), 0, size, data_.data())) {
            data_.clear();
        }
    }

    bool present() const { return !data_.empty(); }

    const VS_FIXEDFILEINFO* fixed() const
    {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
        return info->dwSignature == VS_FFI_SIGNATURE ? info : nullptr;
    }

    // The string of the first translation the resource lists; empty when missing.
    std::wstring text(const wchar_t* name) const
    {
        struct Translation {
            WORD language;
            WORD codePage;
        };
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
            length < sizeof(Translation)) {
            return {};
        }
        auto* translation = static_cast<const Translation*>(value);
        wchar_t query[96];
        std::swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
                      translation->codePage, name);
        if (!VerQueryValueW(data_.data(), query, &value, &length) || length == 0) {
            return {};
        }
        return static_cast<const wchar_t*>(value);
    }

private:
    std::vector<unsigned char> data_;
};

bool checkFile(const std::wstring& path, const std::wstring& version, const WORD parts[4], bool own)
{
    std::wstring name = baseName(path);
    FileVersion resource(path);
    if (!resource.present()) {
        std::wprintf(L"%ls: no version resource (error %lu)\n", name.c_str(), GetLastError());
        return false;
    }
    bool good = true;
    auto complain = [&](const wchar_t* what) {
        std::wprintf(L"%ls: %ls\n", name.c_str(), what);
        good = false;
    };
    const VS_FIXEDFILEINFO* fixed = resource.fixed();
    DWORD high = MAKELONG(parts[1], parts[0]);
    DWORD low = MAKELONG(parts[3], parts[2]);
    if (!fixed) {
        complain(L"no fixed file information");
    } else {
        if (fixed->dwFileVersionMS != high || fixed->dwFileVersionLS != low) {
            complain(L"the fixed file version is not the expected one");
        }
        if (fixed->dwProductVersionMS != high || fixed->dwProductVersionLS != low) {
            complain(L"the fixed product version is not the expected one");
        }
    }
    if (own) {
        std::wprintf(L"%ls: its own block, fixed version %ls\n", name.c_str(), version.c_str());
        return good;
    }
    if (resource.text(L"FileVersion") != version) {
        complain(L"FileVersion is not the project's version");
    }
    if (resource.text(L"ProductVersion") != version) {
        complain(L"ProductVersion is not the project's version");
    }
    if (resource.text(L"OriginalFilename") != name) {
        complain(L"OriginalFilename is not the file's name");
    }
    if (resource.text(L"InternalName") != name.substr(0, name.find_last_of(L'.'))) {
        complain(L"InternalName is not the file's name without its extension");
    }
    if (resource.text(L"FileDescription").empty()) {
        complain(L"no FileDescription");
    }
    if (resource.text(L"ProductName").empty()) {
        complain(L"no ProductName");
    }
    if (resource.text(L"LegalCopyright").find(L"MIT") == std::wstring::npos) {
        complain(L"LegalCopyright does not name the MIT licence");
    }
    std::wprintf(L"%ls: %ls %ls, \"%ls\", \"%ls\"\n", name.c_str(), resource.text(L"ProductName").c_str(),
                 resource.text(L"FileVersion").c_str(), resource.text(L"FileDescription").c_str(),
                 resource.text(L"LegalCopyright").c_str());
    return good;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    WORD parts[4];
    WORD ownParts[4];
    int first = 2;
    std::wstring ownName;
    if (argc > 4 && std::wcscmp(argv[2], L"--own") == 0) {
        ownName = argv[3];
        first = 5;
    }
    if (argc <= first || !parseVersion(argv[1], parts) || (!ownName.empty() && !parseVersion(argv[4], ownParts))) {
        std::fwprintf(stderr, L"usage: version_info_check VERSION [--own NAME OWN_VERSION] FILE...\n");
        return 2;
    }
    bool good = true;
    for (int i = first; i < argc; ++i) {
        const bool own = !ownName.empty() && _wcsicmp(baseName(argv[i]).c_str(), ownName.c_str()) == 0;
        good = (own ? checkFile(argv[i], argv[4], ownParts, true) : checkFile(argv[i], argv[1], parts, false)) && good;
    }
    return good ? 0 : 1;
}
