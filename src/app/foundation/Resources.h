#pragma once

// The bundle's resources: files compiled in from resources/ (under ":/"), found by name
// and type as NSBundle's pathForResource:ofType: finds them. Tests put folders of their
// own first.

#include <QString>
#include <QStringList>

class Resources {
public:
    // The path of "<name>.<type>" (or "<name>" when the type is empty) in the first root
    // that has it; empty when none has it. Names with ".." or a leading '/' find nothing.
    static QString find(const QString& name, const QString& type);

    // Roots searched in order: the pushed folders (last pushed first), then ":/".
    static void pushRoot(const QString& folder);
    static void popRoot();
    static QStringList roots();
};

// Puts a folder first for the life of the object (tests).
class ScopedResourceRoot {
public:
    explicit ScopedResourceRoot(const QString& folder) { Resources::pushRoot(folder); }
    ~ScopedResourceRoot() { Resources::popRoot(); }
    ScopedResourceRoot(const ScopedResourceRoot&) = delete;
    ScopedResourceRoot& operator=(const ScopedResourceRoot&) = delete;
};
