// Numbers in texts follow the "C" notation whatever the process locale: a German locale
// writes 0,5 where a property list or a fault actor needs 0.5.

#include "app/foundation/ErrorDescription.h"
#include "app/foundation/PropertyList.h"
#include "app/foundation/UserDefaults.h"
#include "dms/core/DMSIFMethod.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class GermanLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* ci = std::getenv("CI");
        const char* set = std::setlocale(LC_ALL, "de_DE.UTF-8");
        if (!set) {
            if (ci && std::strcmp(ci, "true") == 0)
                FAIL() << "the locale de_DE.UTF-8 cannot be set (scripts/setup generates it)";
            GTEST_SKIP() << "de_DE.UTF-8 is not available on this machine";
        }
        previousQt_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override {
        std::setlocale(LC_ALL, "C");
        QLocale::setDefault(previousQt_);
    }
    QLocale previousQt_;
};

}  // namespace

TEST_F(GermanLocale, PropertyListNumbers) {
    const auto xml = PropertyList::write(QVariantMap{{"real", 1234.5}, {"int", qint64(1234567)}, {"small", -0.25}});
    ASSERT_TRUE(xml);
    EXPECT_TRUE(xml->contains("<real>1234.5</real>")) << xml->constData();
    EXPECT_TRUE(xml->contains("<integer>1234567</integer>")) << xml->constData();
    EXPECT_TRUE(xml->contains("<real>-0.25</real>")) << xml->constData();
    const auto back = PropertyList::read(*xml);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->toMap()["real"].toDouble(), 1234.5);
    EXPECT_EQ(back->toMap()["small"].toDouble(), -0.25);
    EXPECT_FALSE(PropertyList::read("<plist><real>1,5</real></plist>"));
}

TEST_F(GermanLocale, FaultActorAndDescriptions) {
    DMSIF_MethodRef ref("GetStationURL", "m");
    DMServiceRequestToken token('Rdo3', "u", false, nullptr);
    token.methodRef = &ref;
    token.fault.faultstring = "ClientError";
    token.fault.faultactor = "1, 61";
    const ZYMServiceErrorDescription e(token);
    EXPECT_EQ(e.sifFaultErrorDomain(), 1);
    EXPECT_EQ(e.sifFaultErrorCode(), 61);
    EXPECT_TRUE(e.description().endsWith("fault error domain 1\n  fault error code 61"));
    EXPECT_EQ(ErrorDescription(kOSStatusErrorDomain, -12345).localizedDescription(),
              "Error: domain=OSStatusErrorDomain code=-12345");
}

TEST_F(GermanLocale, UserDefaultsNumbers) {
    QTemporaryDir dir;
    {
        UserDefaults d(dir.filePath("d.conf"));
        d.setDouble("volume", 0.75);
        d.setInteger("big", 1234567);
        ASSERT_TRUE(d.synchronize());
    }
    UserDefaults d(dir.filePath("d.conf"));
    EXPECT_EQ(d.doubleValue("volume"), 0.75);
    EXPECT_EQ(d.integer("big"), 1234567);
    EXPECT_EQ(d.string("volume"), "0.75");
}
