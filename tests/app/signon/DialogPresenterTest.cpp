// The alert presenter: the recording fake the sign-on tests answer, and the real message
// box as a listener sees it.

#include "app/foundation/Localizer.h"
#include "app/signon/DialogPresenter.h"
#include "platform/RunLoop.h"

#include "../foundation/AppTestSupport.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include <chrono>
#include <functional>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
    return platform::RunLoop::Current().RunUntil(done, timeout);
}

}  // namespace

TEST(DialogPresenterTest, RecordingFakeAndTheMessageBox) {
    RecordingDialogPresenter fake;
    int answer = -2;
    DialogRequest request;
    request.messageText = "Sign-on failed";
    request.buttons = {"Try Again", "Cancel"};
    fake.present(request, nullptr, [&](int b) {
        answer = b;
        throw std::runtime_error("completion threw");
    });
    EXPECT_EQ(fake.waiting(), 1);
    EXPECT_EQ(fake.shown[0].request.buttons, (QStringList{"Try Again", "Cancel"}));
    LogCapture log;
    EXPECT_TRUE(fake.answer(1));
    EXPECT_EQ(answer, 1);
    EXPECT_FALSE(fake.answer(0));
    EXPECT_EQ(log.lines, QStringList{"dialog completion: exception: completion threw"});

    ASSERT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
    MessageBoxPresenter real;
    int chosen = -2;
    real.present(request, nullptr, [&](int b) { chosen = b; });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible()) box = m;
        return box != nullptr;
    }));
    EXPECT_EQ(box->text(), "Sign-on failed");
    ASSERT_EQ(box->buttons().size(), 2);
    for (QAbstractButton* b : box->buttons())
        if (b->text() == "Cancel") b->click();
    ASSERT_TRUE(RunUntil([&] { return chosen != -2; }));
    EXPECT_EQ(chosen, 1);
}

// A sign-on failure as the listener meets it: the title whole in the title bar and the
// reason in a line or two, not a narrow box of short lines.
TEST(DialogPresenterTest, AnAlertIsWideEnoughForItsTitleAndText) {
    DialogRequest request;
    request.style = DialogRequest::Style::Critical;
    request.title = Localizer::shared().text(QStringLiteral("AuthenticationFailureTitle"));
    request.messageText = request.title;
    request.informativeText = Localizer::shared().text(QStringLiteral("ServiceRequestFailureHostNotAvailable"));
    ASSERT_NE(request.title, QStringLiteral("AuthenticationFailureTitle"));
    MessageBoxPresenter real;
    int chosen = -2;
    real.present(request, nullptr, [&](int b) { chosen = b; });
    QMessageBox* box = nullptr;
    ASSERT_TRUE(RunUntil([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMessageBox*>(w); m && m->isVisible()) box = m;
        return box != nullptr;
    }));
    box->grab().save(QCoreApplication::applicationDirPath() + "/alert-sign-on-failed.png");
    EXPECT_GE(box->width(), 420);
    EXPECT_GE(box->width(), box->fontMetrics().horizontalAdvance(request.title) + 150);
    auto* text = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    ASSERT_TRUE(text);
    const QRect laidOut =
        text->fontMetrics().boundingRect(text->contentsRect(), Qt::TextWordWrap, request.informativeText);
    const int lines = laidOut.height() / text->fontMetrics().lineSpacing();
    EXPECT_LE(lines, 2) << text->width() << "x" << text->height() << " " << laidOut.height() << "/"
                        << text->fontMetrics().lineSpacing();
    box->buttons().front()->click();
    ASSERT_TRUE(RunUntil([&] { return chosen != -2; }));
}
