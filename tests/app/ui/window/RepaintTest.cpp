// What the window draws while a station plays and nothing else happens: only what shows
// a change. A drawn station row that asked for its details, had its row redrawn by the
// answer and asked again kept the whole window repainting in a loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonObject>
#include <QPaintEvent>
#include <QWidget>

#include <map>
#include <string>

#include "WindowFixture.h"
#include "app/ui/NowPlayingDisplay.h"

namespace {

using namespace windowtest;

// Paint events per widget class over the application's life, and the window's area they
// covered (in the coordinates of each widget's window).
class PaintCounter : public QObject {
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++total;
            ++byClass[watched->metaObject()->className()];
            if (watched == target) ++onTarget;
            if (auto* widget = qobject_cast<QWidget*>(watched)) {
                const QRect area = static_cast<QPaintEvent*>(event)->rect();
                painted |= QRect(widget->mapTo(widget->window(), area.topLeft()), area.size());
            }
        }
        return false;
    }
    std::string Summary() const {
        std::string text;
        for (const auto& [name, count] : byClass)
            text += name + "=" + std::to_string(count) + " ";
        return text;
    }
    const QObject* target = nullptr;
    QRegion painted;
    int total = 0;
    int onTarget = 0;
    std::map<std::string, int> byClass;
};

TEST_F(MainWindow, APlayingWindowRepaintsOnlyWhatChanges) {
    // Station 1's stream goes on for as long as the test listens, at its own rate.
    server_->Script(QJsonObject{{"path", QString::fromStdString(prefix_ + "svcstream/1,")},
                                {"file", "chirp-64k.mp3"},
                                {"repeat", true},
                                {"rate", 8000},
                                {"headers", QJsonArray{QJsonArray{"Content-Type", "audio/mpeg"}}}});
    SignOnAndLoad();
    window_->window()->resize(700, 500);
    window_->window()->show();
    window_->playStationWithID(QStringLiteral("radio:aggregate:1"));
    ASSERT_TRUE(RunUntil([&] { return window_->streamPlaying(); })) << Log();
    // The rows drawn so far have asked for what they show, and have it.
    platform::RunLoop::Current().RunFor(zymtest::Scaled(std::chrono::milliseconds(500)));

    PaintCounter paints;
    paints.target = window_->stationTable().viewport();
    int rowsChanged = 0;
    const QMetaObject::Connection counting =
        QObject::connect(window_->stationTable().model(), &QAbstractItemModel::dataChanged, [&] { ++rowsChanged; });
    constexpr int kSeconds = 3;
    platform::RunLoop::Current().RunFor(std::chrono::seconds(kSeconds));
    QObject::disconnect(counting);
    ASSERT_TRUE(window_->streamPlaying()) << Log();

    EXPECT_EQ(rowsChanged, 0) << paints.Summary();
    EXPECT_LE(paints.onTarget, 1) << paints.Summary();
    // What changes is the song time: nothing is drawn outside its label.
    QWidget* label = window_->display().songTimeLabel();
    const QRect labelArea(label->mapTo(label->window(), QPoint(0, 0)), label->size());
    EXPECT_TRUE(paints.painted.isEmpty() || labelArea.contains(paints.painted.boundingRect()))
        << paints.Summary() << " painted " << paints.painted.boundingRect().x() << ","
        << paints.painted.boundingRect().y() << " " << paints.painted.boundingRect().width() << "x"
        << paints.painted.boundingRect().height() << ", the label at " << labelArea.x() << "," << labelArea.y() << " "
        << labelArea.width() << "x" << labelArea.height();
    // The song time once a second, and whatever a second of play shows besides: far
    // from the hundreds of a loop.
    EXPECT_LE(paints.total, 8 * kSeconds) << paints.Summary();
}

}  // namespace
