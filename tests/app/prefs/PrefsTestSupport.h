#pragma once

#include "../foundation/AppTestSupport.h"
#include "app/prefs/PrefModel.h"
#include "app/foundation/NotificationCenter.h"
#include "app/signon/PasswordStore.h"
#include "app/foundation/UserDefaults.h"

#include <QTemporaryDir>

#include <memory>

// Private user defaults, notification centre and in-memory keyring.
struct PrefsFixture {
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("prefs.conf"))};
    NotificationCenter center;
    MemoryPasswordStore passwords;
    PrefStores stores() { return {&defaults, &center, &passwords}; }
};

// Counts a notification, by sender (null: any).
class PostCounter {
public:
    PostCounter(NotificationCenter& center, const char* name, const void* object = nullptr)
        : sub_(center.observe(QString::fromLatin1(name), object, [this](const Notification& n) {
              ++count;
              last = n.object;
          })) {}
    int count = 0;
    const void* last = nullptr;

private:
    NotificationCenter::Subscription sub_;
};
