// Files: the program's path, folder listings, held files, logs and SHA-256.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

class Win32HeldFile : public HeldFile {
  public:
    explicit Win32HeldFile(HANDLE file) : file_(file) {}
    uint64_t Size() override {
        LARGE_INTEGER size = {};
        return ::GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    bool Read(std::vector<uint8_t>& bytes, size_t most) override {
        size_t at = bytes.size();
        bytes.resize(at + most);
        DWORD read = 0;
        BOOL ok =
            ::ReadFile(file_.get(), bytes.data() + at, static_cast<DWORD>(most), &read, nullptr);
        bytes.resize(at + (ok ? read : 0));
        return ok != FALSE;
    }

  private:
    UniqueFileHandle file_;
};

// advapi32's CryptoAPI: loaded already, unlike bcrypt.dll, which is no KnownDLL.
class Win32Sha256 : public Sha256 {
  public:
    bool Start() {
        return advapi32().CryptAcquireContextW(provider_.put(), nullptr, nullptr, PROV_RSA_AES,
                                               CRYPT_VERIFYCONTEXT) &&
               advapi32().CryptCreateHash(provider_.get(), CALG_SHA_256, 0, 0, hash_.put());
    }
    void Add(const uint8_t* bytes, size_t size) override {
        ok_ = ok_ && advapi32().CryptHashData(hash_.get(), bytes, static_cast<DWORD>(size), 0);
    }
    bool Finish(uint8_t (&digest)[32]) override {
        DWORD size = sizeof(digest);
        return ok_ && advapi32().CryptGetHashParam(hash_.get(), HP_HASHVAL, digest, &size, 0) &&
               size == sizeof(digest);
    }

  private:
    UniqueProvider provider_;  // declared first: the hash goes before its provider
    UniqueHash hash_;
    bool ok_ = true;
};

class Win32LogFile : public LogFile {
  public:
    // The first one open is the setup log: a later one is only tried (msiexec's) and closed.
    explicit Win32LogFile(HANDLE file) : file_(file) {
        if (!g_faultLog) g_faultLog = file;
    }
    ~Win32LogFile() override {
        if (g_faultLog == file_.get()) g_faultLog = nullptr;
    }
    bool Write(const char* bytes, size_t size) override {
        DWORD written = 0;
        return ::WriteFile(file_.get(), bytes, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }

  private:
    UniqueFileHandle file_;
};

}  // namespace

WideString Win32FileSystem::ProgramPath() {
    // A fixed buffer would cut a long path short and search the wrong folder. A path cut short
    // fills the whole buffer: ask again with twice the room.
    WideString path;
    ReadGrowing(path, [](wchar_t* buffer, DWORD* size) -> UINT {
        DWORD room = *size;
        DWORD copied = ::GetModuleFileNameW(nullptr, buffer, room);
        bool whole = copied < room && room != 0;
        *size = whole ? copied : 2 * room;
        return whole ? ERROR_SUCCESS : ERROR_MORE_DATA;
    });
    return path;
}

uint32_t Win32FileSystem::ListFiles(const WideString& folder, std::vector<WideString>& names) {
    WIN32_FIND_DATAW data;
    UniqueFind search(::FindFirstFileW(AsWide(folder + u"*"), &data));
    if (!search) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(WideString(AsUtf16(data.cFileName)));
    } while (::FindNextFileW(search.get(), &data));
    return ERROR_SUCCESS;
}

std::unique_ptr<Sha256> Win32FileSystem::NewSha256() {
    auto hash = std::make_unique<Win32Sha256>();
    return hash->Start() ? std::move(hash) : nullptr;
}

bool Win32FileSystem::IsFolder(const WideString& path) {
    DWORD attributes = ::GetFileAttributesW(AsWide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::unique_ptr<HeldFile> Win32FileSystem::Hold(const WideString& path, uint32_t& error) {
    // Shared for reading only: the installer reads it too, nobody may change it meanwhile.
    HANDLE file = ::CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32HeldFile>(file);
}

std::unique_ptr<LogFile> Win32FileSystem::CreateLogFile(const WideString& path, bool replace,
                                                        const char16_t* security, uint32_t& error) {
    // Links are never followed. CREATE_ALWAYS would write through a symbolic link even with
    // FILE_FLAG_OPEN_REPARSE_POINT, so a name to replace is deleted first (a link is deleted, not
    // its target; a junction is a folder and stays) and every file is created new, failing
    // where anything is under the name.
    if (replace) ::DeleteFileW(AsWide(path));
    UniqueLocal descriptor;
    if (security != nullptr && !ReadSecurity(security, descriptor, error)) return nullptr;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    HANDLE file =
        ::CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, &attributes, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32LogFile>(file);
}

}  // namespace qv::win32
