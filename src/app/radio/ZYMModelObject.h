#pragma once

// The common face of the directory's model objects. Equality is the objects' own
// (usually by identifier, and only between objects of exactly the same class), never
// the pointers': compare shared objects with isEqual, not with ==.

#include <QString>

#include <memory>
#include <vector>

class ZYMModelObject {
public:
    virtual ~ZYMModelObject() = default;
    virtual QString description() const = 0;
    // Identity unless a class says otherwise.
    virtual bool isEqual(const ZYMModelObject& other) const { return this == &other; }

protected:
    ZYMModelObject() = default;
    ZYMModelObject(const ZYMModelObject&) = default;
    ZYMModelObject& operator=(const ZYMModelObject&) = default;
};

// "0x…" in lower-case hexadecimal, as %p writes an address.
QString ZYMAddressText(const void* address);
// NSObject's description: "<ClassName: 0x…>".
QString ZYMDefaultDescription(const char* className, const void* address);

// Whether the list holds an object equal to `object`.
template <class T>
bool ZYMContainsEqual(const std::vector<std::shared_ptr<T>>& list, const ZYMModelObject& object) {
    for (const auto& item : list)
        if (item && item->isEqual(object)) return true;
    return false;
}
