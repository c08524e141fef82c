// Which of the layer's objects are alive, and the places where tests can make an operation fail.
#pragma once

#include <windows.h>

#include <type_traits>
#include <vector>

// Every object the layer hands out stands here from its creation to its end, so that a handle from outside is
// checked before it is followed and a stale one is refused instead; the tests count what is alive by kind.
enum class ObjectKind { DirectDraw, Surface, Palette, DC, Bitmap, Font, DirectInput, InputDevice, Window, File, Count };

void ObjectsAdd(ObjectKind kind, const void* object);
void ObjectsRemove(ObjectKind kind, const void* object);
bool ObjectsHas(ObjectKind kind, const void* object);
// The live objects of one kind, oldest first.
const std::vector<const void*>& ObjectsOf(ObjectKind kind);

// The layer's own object behind a handle or interface pointer, or null when it is not a live one of that kind.
template <typename Object, typename Handle>
Object* ObjectsFind(ObjectKind kind, Handle* handle) {
    if (!ObjectsHas(kind, handle)) return nullptr;
    if constexpr (std::is_void_v<std::remove_const_t<Handle>>) {
        return static_cast<Object*>(const_cast<void*>(static_cast<const void*>(handle)));
    } else {
        return static_cast<Object*>(const_cast<std::remove_const_t<Handle>*>(handle));
    }
}

// Calls visit with each live object of one kind that the layer registered as an Object; visit must not end any.
template <typename Object, typename Visit>
void ObjectsEach(ObjectKind kind, Visit visit) {
    for (const void* object : ObjectsOf(kind)) visit(static_cast<Object*>(const_cast<void*>(object)));
}

// Every Release the program makes on an emulated interface, by name, so tests can check the teardown order.
void ObjectsNoteRelease(const char* what);

// One place where a test can make an operation fail. It counts the calls made there; once armed, it lets `skip`
// calls go through and then answers `remaining` calls (-1: every call until disarmed) with `result`.
struct FaultSite {
    int calls = 0;
    HRESULT result = S_OK;
    int remaining = 0;
    int skip = 0;

    void Arm(HRESULT failure, int times, int skipFirst = 0) {
        result = failure;
        remaining = times;
        skip = skipFirst;
    }
    void Disarm() { remaining = 0; }
    // Called first by every operation that has a site; true, with the armed result, when this call must fail.
    bool Strike(HRESULT* failure) {
        ++calls;
        if (remaining == 0) return false;
        if (skip > 0) {
            --skip;
            return false;
        }
        if (remaining > 0) --remaining;
        *failure = result;
        return true;
    }
};
