// Bitmap resources on Linux: FindResourceA and friends over the table the build compiles in from the resource script.
#include <windows.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "platform/src/platform.h"
#include "platform/testing.h"

namespace {

// What an HRSRC points at. The table's entries are copied into records once, so resources the
// tests register and the compiled-in ones are handed out and checked the same way.
struct ResourceRecord {
    std::string name;  // upper case, as the resource compiler stores names
    const uint8_t* data;
    uint32_t size;
    std::vector<uint8_t> owned;  // the bytes of a registered resource
};

std::string Upper(const char* name) {
    std::string s(name);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    return s;
}

std::deque<ResourceRecord>& EmbeddedRecords() {
    static std::deque<ResourceRecord> records = [] {
        std::deque<ResourceRecord> r;
        for (unsigned i = 0; i < kEmbeddedResourceCount; ++i) {
            const EmbeddedResource& e = kEmbeddedResources[i];
            r.push_back({Upper(e.name), e.data, e.size, {}});
        }
        return r;
    }();
    return records;
}

// Newest last; a deque keeps earlier records where they are, so handles given out stay valid until a reset.
std::deque<ResourceRecord> registered;
std::set<std::string> hidden;

const ResourceRecord* Lookup(const char* name) {
    if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
    const std::string wanted = Upper(name);
    if (hidden.count(wanted)) return nullptr;
    for (auto it = registered.rbegin(); it != registered.rend(); ++it) {
        if (it->name == wanted) return &*it;
    }
    for (const ResourceRecord& r : EmbeddedRecords()) {
        if (r.name == wanted) return &r;
    }
    return nullptr;
}

// A handle is only followed if it is one of ours.
const ResourceRecord* Known(HRSRC resource) {
    const void* p = resource;
    if (p == nullptr) return nullptr;
    for (const ResourceRecord& r : EmbeddedRecords()) {
        if (p == &r) return &r;
    }
    for (const ResourceRecord& r : registered) {
        if (p == &r) return &r;
    }
    return nullptr;
}

bool OwnModule(HMODULE module) { return module == nullptr || module == GetModuleHandleA(nullptr); }

}  // namespace

// DDLoadPalette and the bitmap loaders look their bitmaps up here by name; there are no numbered
// resources, so MAKEINTRESOURCE names find nothing, as do other types and other modules.
HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!OwnModule(module) || type != RT_BITMAP) return nullptr;
    const ResourceRecord* r = Lookup(name);
    return r != nullptr ? reinterpret_cast<HRSRC>(const_cast<ResourceRecord*>(r)) : nullptr;
}

// As on 32- and 64-bit Windows, the loaded handle is the address of the bytes and LockResource
// gives it back; nothing is allocated, so nothing needs freeing.
HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource) {
    const ResourceRecord* r = Known(resource);
    if (!OwnModule(module) || r == nullptr) return nullptr;
    return const_cast<uint8_t*>(r->data);
}

LPVOID WINAPI LockResource(HGLOBAL data) { return data; }

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource) {
    const ResourceRecord* r = Known(resource);
    if (!OwnModule(module) || r == nullptr) return 0;
    return r->size;
}

// LoadImageA's way in: the packed bitmap of a named resource.
bool ResourceFindBitmap(const char* name, const uint8_t** data, uint32_t* size) {
    const ResourceRecord* r = Lookup(name);
    if (r == nullptr || data == nullptr || size == nullptr) return false;
    *data = r->data;
    *size = r->size;
    return true;
}

void TestRegisterBitmapResource(const char* name, const std::vector<uint8_t>& packedBitmap) {
    const std::string key = Upper(name);
    hidden.erase(key);
    registered.push_back({key, nullptr, 0, packedBitmap});
    ResourceRecord& r = registered.back();
    r.data = r.owned.data();
    r.size = uint32_t(r.owned.size());
}

void TestHideResource(const char* name) { hidden.insert(Upper(name)); }

void TestResetResources() {
    registered.clear();
    hidden.clear();
}
