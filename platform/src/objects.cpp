// The one record of the layer's live objects, by kind, and the log of the program's Release calls.
#include "platform/src/objects.h"
#include "platform/testing.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

// A handful of objects of each kind live at once, so a short vector searched from the newest end beats hashing.
struct Objects {
    std::vector<const void*> live[int(ObjectKind::Count)];
    std::vector<std::string> releases;
};
Objects objects;

}  // namespace

void ObjectsAdd(ObjectKind kind, const void* object) { objects.live[int(kind)].push_back(object); }

void ObjectsRemove(ObjectKind kind, const void* object) { std::erase(objects.live[int(kind)], object); }

bool ObjectsHas(ObjectKind kind, const void* object) {
    const std::vector<const void*>& live = objects.live[int(kind)];
    return object != nullptr && std::find(live.rbegin(), live.rend(), object) != live.rend();
}

const std::vector<const void*>& ObjectsOf(ObjectKind kind) { return objects.live[int(kind)]; }

void ObjectsNoteRelease(const char* what) { objects.releases.emplace_back(what); }

std::vector<std::string> TestTakeReleaseLog() { return std::exchange(objects.releases, {}); }

TestLiveObjects TestGetLiveObjects() {
    auto count = [](ObjectKind kind) { return int(objects.live[int(kind)].size()); };
    return {count(ObjectKind::DirectDraw),  count(ObjectKind::Surface),     count(ObjectKind::Palette),
            count(ObjectKind::DC),          count(ObjectKind::Bitmap),      count(ObjectKind::Font),
            count(ObjectKind::DirectInput), count(ObjectKind::InputDevice), count(ObjectKind::Window),
            count(ObjectKind::File)};
}
