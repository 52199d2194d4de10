// msitransform.exe: writes Windows Installer language transforms and embeds them in an
// installer database. The test payload's build runs it under wine64, against Wine's msi.dll and
// ole32.dll.
//
//   msitransform transform <base.msi> <out.mst> <language> <Property=Value>...
//       Writes a transform that sets the given rows of the Property table of <base.msi> (an
//       existing row gets its new value, a missing one is added), with summary information
//       that names <language> as the transformed database's language and validates the
//       product code. Then applies it to <base.msi> in memory and checks every value.
//   msitransform embed <database.msi> <name> <transform.mst>
//       Adds the transform to the database as the substorage <name> (a row of _Storages), so
//       that msiexec applies it with TRANSFORMS=:<name>. Then checks, in memory, that the
//       embedded copy changes the database's Property table as the file does.
//
// Wine's msi.dll has no MsiDatabaseGenerateTransform, so the transform's storage is written
// here: the string pool, one stream for the Property table and the summary information, in
// the layout that msi.dll reads when it applies a transform.
#include <windows.h>
#include <msi.h>
#include <msidefs.h>
#include <msiquery.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// CLSID of a transform storage, {000C1082-0000-0000-C000-000000000046}.
const CLSID kTransformClass = {0x000C1082, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// FMTID_SummaryInformation, {F29F85E0-4FF9-1068-AB91-08002B27B3D9}.
const GUID kSummaryFormat = {
    0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 8, 0, 0x2B, 0x27, 0xB3, 0xD9}};

// Validation of a transform against the database it is applied to (low word of the summary's
// character count), and the bit of the Property table's Value column in a row's change mask.
constexpr uint32_t kValidateProduct = 0x0002;
constexpr uint16_t kValueColumnBit = 0x0002;
// Change mask of a row given in full: the low bit set, the column count in the high byte.
constexpr uint16_t kFullPropertyRow = (2 << 8) | 1;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c == 0 || c > 0x7E) {
            throw Failure("only printable ASCII text is supported in transforms");
        }
        out.push_back(static_cast<char>(c));
    }
    return out;
}

void check(UINT status, const char* step) {
    if (status != ERROR_SUCCESS) {
        throw Failure(std::string(step) + " failed with " + std::to_string(status));
    }
}

void checkHr(HRESULT hr, const char* step) {
    if (FAILED(hr)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
        throw Failure(std::string(step) + " failed with " + code);
    }
}

class MsiHandle {
  public:
    MsiHandle() = default;
    explicit MsiHandle(MSIHANDLE handle) : handle_(handle) {}
    MsiHandle(MsiHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    ~MsiHandle() {
        if (handle_ != 0) {
            MsiCloseHandle(handle_);
        }
    }
    MSIHANDLE get() const { return handle_; }
    MSIHANDLE* out() { return &handle_; }

  private:
    MSIHANDLE handle_ = 0;
};

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (ptr_ != nullptr) {
            ptr_->Release();
        }
    }
    T* operator->() const { return ptr_; }
    T* get() const { return ptr_; }
    T** out() { return &ptr_; }

  private:
    T* ptr_ = nullptr;
};

MsiHandle openDatabase(const std::wstring& path, LPCWSTR mode) {
    MsiHandle db;
    check(MsiOpenDatabaseW(path.c_str(), mode, db.out()), "MsiOpenDatabase");
    return db;
}

std::wstring recordString(MSIHANDLE record, UINT field) {
    DWORD size = 0;
    wchar_t empty[1] = {};
    UINT status = MsiRecordGetStringW(record, field, empty, &size);
    if (status != ERROR_MORE_DATA && status != ERROR_SUCCESS) {
        check(status, "MsiRecordGetString");
    }
    std::wstring text(size + 1, L'\0');
    size += 1;
    check(MsiRecordGetStringW(record, field, text.data(), &size), "MsiRecordGetString");
    text.resize(size);
    return text;
}

std::optional<std::wstring> propertyValue(MSIHANDLE db, const std::wstring& name) {
    MsiHandle view;
    check(MsiDatabaseOpenViewW(db, L"SELECT `Value` FROM `Property` WHERE `Property` = ?",
                               view.out()),
          "MsiDatabaseOpenView(Property)");
    MsiHandle param(MsiCreateRecord(1));
    check(MsiRecordSetStringW(param.get(), 1, name.c_str()), "MsiRecordSetString");
    check(MsiViewExecute(view.get(), param.get()), "MsiViewExecute(Property)");
    MsiHandle row;
    UINT status = MsiViewFetch(view.get(), row.out());
    if (status == ERROR_NO_MORE_ITEMS) {
        return std::nullopt;
    }
    check(status, "MsiViewFetch(Property)");
    return recordString(row.get(), 1);
}

std::wstring requiredProperty(MSIHANDLE db, const std::wstring& name) {
    std::optional<std::wstring> value = propertyValue(db, name);
    if (!value) {
        throw Failure("the database has no property " + narrow(name));
    }
    return *value;
}

std::map<std::wstring, std::wstring> propertyTable(MSIHANDLE db) {
    MsiHandle view;
    check(MsiDatabaseOpenViewW(db, L"SELECT `Property`, `Value` FROM `Property`", view.out()),
          "MsiDatabaseOpenView(Property)");
    check(MsiViewExecute(view.get(), 0), "MsiViewExecute(Property)");
    std::map<std::wstring, std::wstring> rows;
    for (;;) {
        MsiHandle row;
        UINT status = MsiViewFetch(view.get(), row.out());
        if (status == ERROR_NO_MORE_ITEMS) {
            return rows;
        }
        check(status, "MsiViewFetch(Property)");
        rows[recordString(row.get(), 1)] = recordString(row.get(), 2);
    }
}

struct BaseSummary {
    std::string templateText;  // "platform;language" of the base database
    int32_t pageCount = 200;   // installer version the base database needs
    std::optional<int16_t> codepage;
};

BaseSummary readBaseSummary(MSIHANDLE db) {
    MsiHandle info;
    check(MsiGetSummaryInformationW(db, nullptr, 0, info.out()), "MsiGetSummaryInformation");
    BaseSummary summary;
    UINT type = 0;
    INT number = 0;
    FILETIME time{};
    wchar_t text[256] = {};
    DWORD size = 256;
    check(MsiSummaryInfoGetPropertyW(info.get(), PID_TEMPLATE, &type, &number, &time, text, &size),
          "MsiSummaryInfoGetProperty(Template)");
    summary.templateText = narrow(std::wstring(text, size));
    size = 256;
    if (MsiSummaryInfoGetPropertyW(info.get(), PID_PAGECOUNT, &type, &number, &time, text, &size) ==
            ERROR_SUCCESS &&
        type == VT_I4) {
        summary.pageCount = number;
    }
    size = 256;
    if (MsiSummaryInfoGetPropertyW(info.get(), PID_CODEPAGE, &type, &number, &time, text, &size) ==
            ERROR_SUCCESS &&
        type == VT_I2) {
        summary.codepage = static_cast<int16_t>(number);
    }
    return summary;
}

// The strings of a transform, numbered from 1 in order of first use, each with its count of
// references, as the _StringPool and _StringData streams hold them.
class StringPool {
  public:
    uint16_t add(const std::string& text) {
        auto [it, added] = ids_.emplace(text, static_cast<uint16_t>(strings_.size() + 1));
        if (added) {
            strings_.push_back({text, 0});
        }
        strings_[it->second - 1].second += 1;
        return it->second;
    }

    // Codepage word, flags word (no long string references), then length and reference count
    // of each string.
    std::vector<uint8_t> pool(uint16_t codepage) const {
        std::vector<uint8_t> out;
        putWord(out, codepage);
        putWord(out, 0);
        for (const auto& [text, refs] : strings_) {
            if (text.size() > 0xFFFF || refs > 0xFFFF) {
                throw Failure("string too long for the transform's string pool");
            }
            putWord(out, static_cast<uint16_t>(text.size()));
            putWord(out, static_cast<uint16_t>(refs));
        }
        return out;
    }

    std::vector<uint8_t> data() const {
        std::vector<uint8_t> out;
        for (const auto& entry : strings_) {
            out.insert(out.end(), entry.first.begin(), entry.first.end());
        }
        return out;
    }

    static void putWord(std::vector<uint8_t>& out, uint16_t value) {
        out.push_back(static_cast<uint8_t>(value & 0xFF));
        out.push_back(static_cast<uint8_t>(value >> 8));
    }

  private:
    std::map<std::string, uint16_t> ids_;
    std::vector<std::pair<std::string, uint32_t>> strings_;
};

// Name of a table's stream in an installer storage: the mark 0x4840, then the name packed two
// characters to one (0x3800 + a + 64 * b) where both are in the 64-character alphabet, one to
// one (0x4800 + a) otherwise.
std::wstring tableStreamName(const std::wstring& table) {
    auto code = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'A' && c <= L'Z') return c - L'A' + 10;
        if (c >= L'a' && c <= L'z') return c - L'a' + 36;
        if (c == L'.') return 62;
        if (c == L'_') return 63;
        return -1;
    };
    std::wstring out(1, static_cast<wchar_t>(0x4840));
    for (size_t i = 0; i < table.size(); ++i) {
        int first = code(table[i]);
        if (first < 0) {
            out.push_back(table[i]);
            continue;
        }
        int second = i + 1 < table.size() ? code(table[i + 1]) : -1;
        if (second >= 0) {
            out.push_back(static_cast<wchar_t>(0x3800 + first + (second << 6)));
            ++i;
        } else {
            out.push_back(static_cast<wchar_t>(0x4800 + first));
        }
    }
    if (out.size() > 31) {
        throw Failure("table name too long for a stream name");
    }
    return out;
}

// A summary information property set with one section, as msi.dll reads it: properties sorted
// by id, values of type VT_I2, VT_I4 or VT_LPSTR, each padded to four bytes.
class SummaryWriter {
  public:
    void addShort(uint32_t id, int16_t value) {
        std::vector<uint8_t> v;
        put32(v, VT_I2);
        put32(v, static_cast<uint16_t>(value));
        values_[id] = v;
    }
    void addLong(uint32_t id, int32_t value) {
        std::vector<uint8_t> v;
        put32(v, VT_I4);
        put32(v, static_cast<uint32_t>(value));
        values_[id] = v;
    }
    void addText(uint32_t id, const std::string& text) {
        std::vector<uint8_t> v;
        put32(v, VT_LPSTR);
        put32(v, static_cast<uint32_t>(text.size() + 1));
        v.insert(v.end(), text.begin(), text.end());
        v.push_back(0);
        while (v.size() % 4 != 0) {
            v.push_back(0);
        }
        values_[id] = v;
    }

    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> section;
        const uint32_t headerSize = 8 + 8 * static_cast<uint32_t>(values_.size());
        uint32_t offset = headerSize;
        std::vector<uint8_t> table;
        std::vector<uint8_t> data;
        for (const auto& [id, value] : values_) {
            put32(table, id);
            put32(table, offset);
            data.insert(data.end(), value.begin(), value.end());
            offset += static_cast<uint32_t>(value.size());
        }
        put32(section, offset);
        put32(section, static_cast<uint32_t>(values_.size()));
        section.insert(section.end(), table.begin(), table.end());
        section.insert(section.end(), data.begin(), data.end());

        std::vector<uint8_t> out;
        StringPool::putWord(out, 0xFFFE);  // byte order mark
        StringPool::putWord(out, 0);       // format version
        put32(out, 0x00020006);            // originating system
        out.insert(out.end(), 16, 0);      // class id
        put32(out, 1);                     // one section
        putGuid(out, kSummaryFormat);
        put32(out, 48);  // the section follows the 48 bytes of headers
        out.insert(out.end(), section.begin(), section.end());
        return out;
    }

  private:
    static void put32(std::vector<uint8_t>& out, uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    static void putGuid(std::vector<uint8_t>& out, const GUID& guid) {
        put32(out, guid.Data1);
        StringPool::putWord(out, guid.Data2);
        StringPool::putWord(out, guid.Data3);
        out.insert(out.end(), guid.Data4, guid.Data4 + 8);
    }

    std::map<uint32_t, std::vector<uint8_t>> values_;
};

void writeStream(IStorage* storage, const std::wstring& name, const std::vector<uint8_t>& data) {
    ComPtr<IStream> stream;
    checkHr(storage->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0,
                                  0, stream.out()),
            "IStorage::CreateStream");
    ULONG written = 0;
    checkHr(stream->Write(data.data(), static_cast<ULONG>(data.size()), &written),
            "IStream::Write");
    if (written != data.size()) {
        throw Failure("short write to a transform stream");
    }
}

using Assignments = std::vector<std::pair<std::wstring, std::wstring>>;

Assignments parseAssignments(int argc, wchar_t** argv, int first) {
    Assignments out;
    for (int i = first; i < argc; ++i) {
        std::wstring arg = argv[i];
        size_t eq = arg.find(L'=');
        if (eq == 0 || eq == std::wstring::npos) {
            throw Failure("expected Property=Value, got " + narrow(arg));
        }
        out.emplace_back(arg.substr(0, eq), arg.substr(eq + 1));
    }
    if (out.empty()) {
        throw Failure("a transform needs at least one Property=Value");
    }
    return out;
}

void expectProperties(MSIHANDLE db, const Assignments& assignments, const char* what) {
    for (const auto& [name, value] : assignments) {
        std::optional<std::wstring> now = propertyValue(db, name);
        if (!now || *now != value) {
            throw Failure(std::string(what) + ": property " + narrow(name) + " is " +
                          (now ? "\"" + narrow(*now) + "\"" : "missing") + ", expected \"" +
                          narrow(value) + "\"");
        }
    }
}

void writeTransform(const std::wstring& basePath, const std::wstring& outPath,
                    const std::wstring& language, const Assignments& assignments) {
    MsiHandle base = openDatabase(basePath, MSIDBOPEN_READONLY);
    const std::string productCode = narrow(requiredProperty(base.get(), L"ProductCode"));
    const std::string version = narrow(requiredProperty(base.get(), L"ProductVersion"));
    const std::string upgradeCode = narrow(requiredProperty(base.get(), L"UpgradeCode"));
    const BaseSummary summary = readBaseSummary(base.get());

    // Property table rows: the key column, then the Value column. A row the base has gets
    // only its value; a new row is given whole.
    StringPool strings;
    std::vector<uint8_t> rows;
    for (const auto& [name, value] : assignments) {
        const bool exists = propertyValue(base.get(), name).has_value();
        StringPool::putWord(rows, exists ? kValueColumnBit : kFullPropertyRow);
        StringPool::putWord(rows, strings.add(narrow(name)));
        StringPool::putWord(rows, strings.add(narrow(value)));
    }

    const std::string platform = summary.templateText.substr(0, summary.templateText.find(';'));
    SummaryWriter info;
    if (summary.codepage) {
        info.addShort(PID_CODEPAGE, *summary.codepage);
    }
    info.addText(PID_TITLE, "Transform");
    info.addText(PID_AUTHOR, "Tarnwell");
    info.addText(PID_TEMPLATE, summary.templateText);
    info.addText(PID_LASTAUTHOR, platform + ";" + narrow(language));
    info.addText(PID_REVNUMBER,
                 productCode + version + ";" + productCode + version + ";" + upgradeCode);
    info.addLong(PID_PAGECOUNT, summary.pageCount);
    info.addLong(PID_CHARCOUNT, static_cast<int32_t>(kValidateProduct));
    info.addText(PID_APPNAME, "msitransform");

    {
        ComPtr<IStorage> storage;
        checkHr(
            StgCreateDocfile(outPath.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                             0, storage.out()),
            "StgCreateDocfile");
        checkHr(storage->SetClass(kTransformClass), "IStorage::SetClass");
        writeStream(storage.get(), tableStreamName(L"_StringPool"), strings.pool(0));
        writeStream(storage.get(), tableStreamName(L"_StringData"), strings.data());
        writeStream(storage.get(), tableStreamName(L"Property"), rows);
        writeStream(storage.get(), L"\005SummaryInformation", info.bytes());
        checkHr(storage->Commit(STGC_DEFAULT), "IStorage::Commit");
    }

    check(MsiDatabaseApplyTransformW(base.get(), outPath.c_str(), 0), "MsiDatabaseApplyTransform");
    expectProperties(base.get(), assignments, "after applying the transform");
}

void embedTransform(const std::wstring& dbPath, const std::wstring& name,
                    const std::wstring& transformPath) {
    {
        MsiHandle db = openDatabase(dbPath, MSIDBOPEN_TRANSACT);
        MsiHandle view;
        check(MsiDatabaseOpenViewW(db.get(), L"SELECT `Name`, `Data` FROM `_Storages`", view.out()),
              "MsiDatabaseOpenView(_Storages)");
        check(MsiViewExecute(view.get(), 0), "MsiViewExecute(_Storages)");
        MsiHandle row(MsiCreateRecord(2));
        check(MsiRecordSetStringW(row.get(), 1, name.c_str()), "MsiRecordSetString");
        check(MsiRecordSetStreamW(row.get(), 2, transformPath.c_str()), "MsiRecordSetStream");
        check(MsiViewModify(view.get(), MSIMODIFY_INSERT, row.get()), "MsiViewModify(insert)");
        check(MsiDatabaseCommit(db.get()), "MsiDatabaseCommit");
    }

    // The embedded copy must change the database as the file does: apply each to a fresh
    // read-only view of the database and compare the Property tables.
    std::map<std::wstring, std::wstring> untouched;
    std::map<std::wstring, std::wstring> fromFile;
    {
        MsiHandle db = openDatabase(dbPath, MSIDBOPEN_READONLY);
        untouched = propertyTable(db.get());
        check(MsiDatabaseApplyTransformW(db.get(), transformPath.c_str(), 0),
              "MsiDatabaseApplyTransform(file)");
        fromFile = propertyTable(db.get());
    }
    MsiHandle db = openDatabase(dbPath, MSIDBOPEN_READONLY);
    check(MsiDatabaseApplyTransformW(db.get(), (L":" + name).c_str(), 0),
          "MsiDatabaseApplyTransform(embedded)");
    const std::map<std::wstring, std::wstring> fromStorage = propertyTable(db.get());
    if (fromFile == untouched) {
        throw Failure("the transform changes nothing in the Property table");
    }
    if (fromStorage != fromFile) {
        throw Failure("the embedded transform " + narrow(name) +
                      " does not change the database as its file does");
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: msitransform transform <base.msi> <out.mst> <language> "
                 "<Property=Value>...\n"
                 "       msitransform embed <database.msi> <name> <transform.mst>\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::wstring command = argv[1];
    try {
        checkHr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), "CoInitializeEx");
        if (command == L"transform" && argc >= 6) {
            writeTransform(argv[2], argv[3], argv[4], parseAssignments(argc, argv, 5));
        } else if (command == L"embed" && argc == 5) {
            embedTransform(argv[2], argv[3], argv[4]);
        } else {
            return usage();
        }
    } catch (const Failure& failure) {
        std::fprintf(stderr, "msitransform: %s\n", failure.what());
        return 1;
    }
    return 0;
}
