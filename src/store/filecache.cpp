#include "store/filecache.hpp"

#include <cstdio>

#include "common/list.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "platform/files.hpp"
#include "store/latticedir.hpp"
#include "store/stdio_file.hpp"

bool digestCaching = false;

namespace {

struct FileSumRecord {
    std::string path;  // as asked for
    Digest digest;
};

struct FileListRecord {
    std::string lattice;
    std::vector<std::string> paths;
    float variantTag;  // 4.4 for variant A, 0 for variant B
};

bool cachesCreated = false;
List<FileSumRecord> filesumcache;
List<FileListRecord> filelistcache;
LatticeDataFilesProvider dataFilesProvider;

void createCaches() {
    if (cachesCreated) return;
    listInit(filesumcache);
    listInit(filelistcache);
    cachesCreated = true;
}

using FileHandle = StdioFile;

FileHandle openForDigest(const std::string& path) {
    if (!isSafeRelativePath(path)) return nullptr;
    std::string found = findFileNoCase(path);
    // A FIFO would hold the open until someone writes to it.
    if (refuseIrregularFile(found) || !isRegularFile(found)) return nullptr;
    return FileHandle(std::fopen(found.c_str(), "rb"));
}

// The same file under another extension: the first entry matching
// path + ".*", taking the text after the first "." of its name.
FileHandle openUnderOtherExtension(const std::string& path) {
    if (!isSafeRelativePath(path)) return nullptr;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const std::string& name : listFolder(findFileNoCase(folder), true)) {
        if (name.size() <= base.size() || name[base.size()] != '.' ||
            !equalNoCase(std::string_view(name).substr(0, base.size()), base)) {
            continue;
        }
        size_t dot = name.find('.');
        return openForDigest(path + "." + name.substr(dot + 1));
    }
    return nullptr;
}

// Lattices written on the original platform name files with backslashes.
std::string withSeparators(std::string text) {
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    return text;
}

float variantTag(DataFileVariant variant) {
    return variant == DataFileVariant::A ? 4.4f : 0.0f;
}

}  // namespace

void forgetDigestCaches() {
    createCaches();
    listClear(filesumcache);
    listClear(filelistcache);
}

void setLatticeDataFilesProvider(LatticeDataFilesProvider provider) {
    dataFilesProvider = std::move(provider);
}

void resetLatticeDataFilesProvider() {
    dataFilesProvider = nullptr;
}

std::string dataFilePath(const std::string& value) {
    return std::string(kDataFolder) + "/" + withSeparators(value);
}

Digest fileDigest(const std::string& path, size_t n) {
    createCaches();
    if (digestCaching) {
        for (size_t i = filesumcache.count(); i-- > 0;) {
            const FileSumRecord& r = filesumcache[i];
            if (r.digest.size() == n && equalNoCase(r.path, path)) return r.digest;
        }
    } else {
        listClear(filesumcache);
    }
    FileHandle file = openForDigest(path);
    if (!file) file = openUnderOtherExtension(path);
    if (!file) {
        reportf("[WARNING] File %s not found for filechecksum", path.c_str());
        return digestZero(n);
    }
    Digest d = digestZero(n);
    std::vector<char> buffer(1 << 16);
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
        digestFeedContent(d, std::string_view(buffer.data(), got));
    }
    listAppend(filesumcache, FileSumRecord{path, d});
    return d;
}

Digest latticeFileDigest(const std::optional<std::string>& name, size_t n) {
    if (!name) return {};
    if (name->empty()) {
        Digest d = digestZero(n);
        digestAdd32(d, 0x5E3A91C7u);
        return d;
    }
    return fileDigest(latticeFilePath(*name), n);
}

Digest latticeDigest(const std::optional<std::string>& name, size_t n, DataFileVariant variant,
                     const LatticeDataFilesProvider& interpret) {
    if (!name) return digestZero(n);
    std::string latticePath = latticeFilePath(*name);
    if (!isSafeRelativePath(latticePath) || !fileExists(findFileNoCase(latticePath))) {
        return digestZero(n);
    }
    createCaches();
    float tag = variantTag(variant);
    const FileListRecord* found = nullptr;
    if (digestCaching) {
        for (size_t i = filelistcache.count(); i-- > 0;) {
            const FileListRecord& r = filelistcache[i];
            if (r.variantTag == tag && equalNoCase(r.lattice, *name)) {
                found = &r;
                break;
            }
        }
    } else {
        listClear(filelistcache);
    }
    if (!found) {
        std::optional<std::vector<std::string>> values;
        if (dataFilesProvider) {
            values = dataFilesProvider(*name);
        } else if (interpret) {
            values = interpret(*name);
        }
        if (!values) return digestZero(n);
        FileListRecord record{*name, {}, tag};
        for (const std::string& value : *values) {
            if (variant == DataFileVariant::B) {
                std::string plain = withSeparators(value);
                bool listed = false;
                for (const std::string& p : record.paths) listed = listed || equalNoCase(p, plain);
                if (listed) continue;
            }
            record.paths.push_back(dataFilePath(value));
        }
        found = &filelistcache[listAppend(filelistcache, std::move(record))];
    }
    Digest d = latticeFileDigest(name, n);
    const std::vector<std::string>& paths = found->paths;
    for (size_t i = paths.size(); i-- > 0;) d = digestXor(d, fileDigest(paths[i], n));
    return d;
}
