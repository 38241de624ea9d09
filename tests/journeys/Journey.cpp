#include "Journey.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include <signal.h>
#include <unistd.h>

#include "support/Env.h"

namespace journey {

namespace {

Display* X(void* x) { return static_cast<Display*>(x); }

int Ms(std::chrono::milliseconds d) { return int(zymtest::Scaled(d).count()); }

QString Source(const QString& relative) {
    return QString::fromStdString(zymtest::SourceDir()) + QLatin1Char('/') + relative;
}

// The first line a process prints, within the bound ("" when none came).
QString FirstLine(QProcess& process, std::chrono::milliseconds bound) {
    QElapsedTimer clock;
    clock.start();
    QByteArray seen;
    while (clock.elapsed() < zymtest::Scaled(bound).count()) {
        process.waitForReadyRead(100);
        seen += process.readAllStandardOutput();
        const int nl = seen.indexOf('\n');
        if (nl >= 0) return QString::fromUtf8(seen.left(nl)).trimmed();
        if (process.state() == QProcess::NotRunning) break;
    }
    return {};
}

// The X server accepts no errors as fatal: a window that went away between two requests
// is an ordinary event here.
int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

QByteArray Property(Display* d, ::Window w, const char* name, Atom type, int* count = nullptr) {
    Atom actual;
    int format;
    unsigned long n, left;
    unsigned char* data = nullptr;
    const Atom atom = XInternAtom(d, name, False);
    if (XGetWindowProperty(d, w, atom, 0, 1 << 20, False, type, &actual, &format, &n, &left, &data) != Success || !data)
        return {};
    const int unit = format == 32 ? int(sizeof(long)) : format / 8;
    QByteArray out(reinterpret_cast<const char*>(data), int(n) * unit);
    if (count) *count = int(n);
    XFree(data);
    return out;
}

Station ReadStation(const QDBusArgument& a) {
    Station s;
    a.beginStructure();
    a >> s.id >> s.name;
    a.endStructure();
    return s;
}

}  // namespace

// --- set-up ---

void JourneyTest::SetUp() {
    ASSERT_TRUE(work_.isValid());
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "dbus-daemon", "gnome-keyring-daemon"}) {
        if (!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) continue;
        // CI installs everything scripts/setup names: a missing tool there is a failure.
        if (qEnvironmentVariable("CI") == QLatin1String("true")) FAIL() << tool << " is missing (scripts/setup)";
        GTEST_SKIP() << tool << " is missing (scripts/setup installs it)";
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const char* binary = std::getenv("ZYM_BINARY_DIR");
    artifacts_ = QString::fromLatin1(binary ? binary : ".") + QStringLiteral("/tests/journeys/artifacts/") +
                 QString::fromLatin1(info->test_suite_name()) + QLatin1Char('.') + QString::fromLatin1(info->name());
    QDir(artifacts_).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(artifacts_));

    // The whole program under load may stall its main thread for many seconds while it
    // starts (its web engine); the server waits for the request that long.
    qputenv("ZYMSERVER_TIMEOUT", QByteArray::number(int(zymtest::Scaled(120.0))));
    zymtest::TestServer& server = zymtest::TestServer::Get();
    serverPort_ = server.Port();
    QProcess demo;
    demo.start(QStringLiteral("python3"),
               {Source(QStringLiteral("tests/server/demo.py")), QString::number(serverPort_)});
    ASSERT_TRUE(demo.waitForFinished(Ms(30s)));
    services_ = QString::fromUtf8(demo.readAllStandardOutput()).trimmed();
    ASSERT_TRUE(services_.startsWith(QStringLiteral("http://127.0.0.1:"))) << services_.toStdString();

    const std::string failed = startDesktop();
    ASSERT_EQ(failed, "");
}

std::string JourneyTest::startDesktop() {
    for (const char* dir : {"run", "tmp", "keyring", "home"})
        QDir().mkpath(work_.filePath(QLatin1String(dir)));
    QFile::setPermissions(work_.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // A display nobody else uses: the server picks it and tells it on -displayfd.
    xvfb_.setStandardErrorFile(artifacts_ + QStringLiteral("/xvfb.txt"));
    xvfb_.start(QStringLiteral("Xvfb"),
                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                 QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                 QStringLiteral("-noreset")});
    const QString number = FirstLine(xvfb_, 30s);
    if (number.isEmpty()) return "Xvfb did not start (package xvfb)";
    display_ = QLatin1Char(':') + number;
    XSetErrorHandler(IgnoreXErrors);
    x_ = XOpenDisplay(display_.toLatin1().constData());
    if (!x_) return "cannot open display " + display_.toStdString();

    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XAUTHORITY"})
        base.remove(QLatin1String(name));
    base.insert(QStringLiteral("HOME"), work_.filePath(QStringLiteral("home")));
    base.insert(QStringLiteral("XDG_RUNTIME_DIR"), work_.filePath(QStringLiteral("run")));

    // The session bus of this test alone.
    bus_.setProcessEnvironment(base);
    bus_.setStandardErrorFile(artifacts_ + QStringLiteral("/dbus.txt"));
    bus_.start(QStringLiteral("dbus-daemon"),
               {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                QStringLiteral("--address=unix:path=") + work_.filePath(QStringLiteral("run/bus"))});
    busAddress_ = FirstLine(bus_, 30s);
    if (busAddress_.isEmpty()) return "dbus-daemon did not start (package dbus)";
    dbus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(busAddress_, QStringLiteral("journey")));
    if (!dbus_->isConnected()) return "cannot reach the private bus";

    // Its keyring, unlocked, holding nothing yet.
    QProcessEnvironment keyringEnv = base;
    keyringEnv.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    keyringEnv.insert(QStringLiteral("XDG_DATA_HOME"), work_.filePath(QStringLiteral("keyring")));
    keyring_.setProcessEnvironment(keyringEnv);
    keyring_.setStandardOutputFile(artifacts_ + QStringLiteral("/keyring.txt"));
    keyring_.setStandardErrorFile(artifacts_ + QStringLiteral("/keyring.txt"), QIODevice::Append);
    keyring_.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                                                            QStringLiteral("--components=secrets")});
    if (!keyring_.waitForStarted(Ms(30s))) return "gnome-keyring-daemon did not start (package gnome-keyring)";
    keyring_.write("zymtest");
    keyring_.closeWriteChannel();
    const bool secrets = waitUntil(
        [&] { return dbus_->interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value(); },
        30s);
    if (!secrets) return "the keyring did not take its bus name";

    // A window manager: windows get frames, places and focus as on a desktop.
    QProcessEnvironment wmEnv = base;
    wmEnv.insert(QStringLiteral("DISPLAY"), display_);
    wm_.setProcessEnvironment(wmEnv);
    wm_.setStandardOutputFile(artifacts_ + QStringLiteral("/openbox.txt"));
    wm_.setStandardErrorFile(artifacts_ + QStringLiteral("/openbox.txt"), QIODevice::Append);
    wm_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!wm_.waitForStarted(Ms(30s))) return "openbox did not start (package openbox)";
    const bool managed = waitUntil(
        [&] { return !Property(X(x_), DefaultRootWindow(X(x_)), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).isEmpty(); },
        30s);
    if (!managed) return "openbox did not take the screen";
    return "";
}

void JourneyTest::stopProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(Ms(10s))) {
        process.kill();
        process.waitForFinished(Ms(10s));
    }
}

void JourneyTest::TearDown() {
    if (program_) {
        kill();
        program_.reset();
    }
    keepOutput();
    stopOwnServer();
    if (dbus_) {
        QDBusConnection::disconnectFromBus(QStringLiteral("journey"));
        dbus_.reset();
    }
    if (x_) {
        XCloseDisplay(X(x_));
        x_ = nullptr;
    }
    stopProcess(wm_);
    stopProcess(keyring_);
    stopProcess(bus_);
    stopProcess(xvfb_);
}

void JourneyTest::keepOutput() {
    if (profile_.isEmpty()) return;
    const QString log = profilePath(QStringLiteral("state/zymradio/zymradio.log"));
    QFile::remove(artifacts_ + QStringLiteral("/zymradio.log"));
    QFile::copy(log, artifacts_ + QStringLiteral("/zymradio.log"));
    QFile::remove(artifacts_ + QStringLiteral("/zymradio.conf"));
    QFile::copy(profilePath(QStringLiteral("config/zymradio/zymradio.conf")),
                artifacts_ + QStringLiteral("/zymradio.conf"));
}

// --- the profile ---

void JourneyTest::newProfile(const QString& settings, QString services) {
    keepOutput();
    if (services.isEmpty()) services = services_;
    static int profiles = 0;
    profile_ = work_.filePath(QStringLiteral("profile-%1").arg(++profiles));
    for (const char* dir : {"config/zymradio", "cache", "state", "data", "run", "home"})
        QDir().mkpath(profile_ + QLatin1Char('/') + QLatin1String(dir));
    QFile::setPermissions(profilePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile conf(profilePath(QStringLiteral("config/zymradio/zymradio.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("[General]\nservice_url=%1\nscreenname=demo\n%2").arg(services, settings).toUtf8());
}

QString JourneyTest::profilePath(const QString& relative) const { return profile_ + QLatin1Char('/') + relative; }

QString JourneyTest::settingsText() const {
    QFile conf(profilePath(QStringLiteral("config/zymradio/zymradio.conf")));
    if (!conf.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(conf.readAll());
}

QProcessEnvironment JourneyTest::programEnvironment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"WAYLAND_DISPLAY", "XAUTHORITY", "SESSION_MANAGER"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), profilePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), profilePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), profilePath(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), profilePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), profilePath(QStringLiteral("run")));
    env.insert(QStringLiteral("HOME"), profilePath(QStringLiteral("home")));
    // The one-copy-per-user socket lives in the temporary folder: one per test.
    env.insert(QStringLiteral("TMPDIR"), work_.filePath(QStringLiteral("tmp")));
    env.insert(QStringLiteral("ZYM_AUDIO_OUTPUT"), QStringLiteral("wav:") + wav_);
    // The ad panel's web engine refuses its sandbox to root.
    if (geteuid() == 0) env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--no-sandbox"));
    // In a sanitizer build: the GL and X libraries the xcb platform loads (and unloads) keep
    // a block or two to the end of the process, out of reach of any suppression; the
    // program's own leaks are the offscreen program test's to find.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                                                   QStringLiteral("new_delete_type_mismatch=0:detect_leaks=0"));
    return env;
}

void JourneyTest::storePassword(const QString& password) {
    QProcess store;
    store.setProcessEnvironment(programEnvironment());
    store.start(QStringLiteral(ZYMRADIO), {QStringLiteral("--store-password"), QStringLiteral("demo")});
    store.write(password.toUtf8() + "\n");
    store.closeWriteChannel();
    ASSERT_TRUE(store.waitForFinished(Ms(60s)));
    ASSERT_EQ(store.exitCode(), 0) << store.readAllStandardError().toStdString();
}

// --- the program ---

void JourneyTest::launch(const QStringList& arguments) {
    ASSERT_FALSE(profile_.isEmpty()) << "no profile";
    if (program_) kill();
    ++launches_;
    wav_ = profilePath(QStringLiteral("sound-%1.wav").arg(launches_));
    program_ = std::make_unique<QProcess>();
    program_->setProcessEnvironment(programEnvironment());
    program_->setStandardOutputFile(artifacts_ + QStringLiteral("/launch-%1.out").arg(launches_));
    program_->setStandardErrorFile(artifacts_ + QStringLiteral("/launch-%1.err").arg(launches_));
    program_->start(QStringLiteral(ZYMRADIO), arguments);
    ASSERT_TRUE(program_->waitForStarted(Ms(30s)));
}

int JourneyTest::launchAndWait(const QStringList& arguments) {
    QProcess second;
    QProcessEnvironment env = programEnvironment();
    second.setProcessEnvironment(env);
    second.setStandardOutputFile(artifacts_ + QStringLiteral("/second.out"));
    second.setStandardErrorFile(artifacts_ + QStringLiteral("/second.err"));
    second.start(QStringLiteral(ZYMRADIO), arguments);
    if (!second.waitForFinished(Ms(60s))) {
        second.kill();
        second.waitForFinished();
        return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

JourneyTest::Ran JourneyTest::runOnDesktop(const QString& program, const QStringList& arguments) {
    QProcess command;
    command.setProcessEnvironment(programEnvironment());
    command.start(program, arguments);
    Ran ran;
    if (!command.waitForFinished(Ms(60s))) {
        command.kill();
        command.waitForFinished();
    } else if (command.exitStatus() == QProcess::NormalExit) {
        ran.exitCode = command.exitCode();
    }
    ran.out = QString::fromUtf8(command.readAllStandardOutput()).trimmed();
    ran.err = QString::fromUtf8(command.readAllStandardError()).trimmed();
    return ran;
}

QString JourneyTest::programOutput() const {
    QString output;
    for (const char* stream : {"out", "err"}) {
        QFile file(artifacts_ + QStringLiteral("/launch-%1.%2").arg(launches_).arg(QLatin1String(stream)));
        if (file.open(QIODevice::ReadOnly)) output += QString::fromUtf8(file.readAll());
    }
    return output;
}

bool JourneyTest::running() const { return program_ && program_->state() != QProcess::NotRunning; }

bool JourneyTest::quit() {
    if (!running()) return false;
    const std::optional<Window> main = mainWindow();
    if (main) keys(*main, QStringLiteral("ctrl+q"));
    if (!main || !program_->waitForFinished(Ms(60s))) {
        ADD_FAILURE() << "zymradio did not quit on Ctrl+Q";
        kill();
        return false;
    }
    return program_->exitStatus() == QProcess::NormalExit && program_->exitCode() == 0;
}

void JourneyTest::kill() {
    if (!running()) return;
    program_->kill();
    program_->waitForFinished(Ms(30s));
}

bool JourneyTest::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    QElapsedTimer clock;
    clock.start();
    const qint64 limit = zymtest::Scaled(bound).count();
    for (;;) {
        if (condition()) return true;
        if (clock.elapsed() > limit) return false;
        QCoreApplication::processEvents();
        QThread::msleep(100);  // the poll of a state, not an ordering
    }
}

// --- the scripting interface ---

QVariant JourneyTest::property(const char* name) {
    QDBusMessage get =
        QDBusMessage::createMethodCall(QStringLiteral("org.zym.Radio"), QStringLiteral("/org/zym/Radio"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.zym.Radio") << QString::fromLatin1(name);
    const QDBusMessage reply = dbus_->call(get, QDBus::Block, Ms(10s));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

bool JourneyTest::busUp() {
    return dbus_ && dbus_->interface()->isServiceRegistered(QStringLiteral("org.zym.Radio")).value();
}

bool JourneyTest::isPlaying() { return property("isPlaying").toBool(); }
bool JourneyTest::isAuthenticated() { return property("isAuthenticated").toBool(); }
qlonglong JourneyTest::currentTrackPlayingTime() { return property("currentTrackPlayingTime").toLongLong(); }

Station JourneyTest::playingStation() {
    const QVariant v = property("playingStation");
    if (!v.canConvert<QDBusArgument>()) return {};
    return ReadStation(v.value<QDBusArgument>());
}

Track JourneyTest::currentTrack() {
    const QVariant v = property("currentTrack");
    if (!v.canConvert<QDBusArgument>()) return {};
    const QDBusArgument a = v.value<QDBusArgument>();
    Track t;
    a.beginStructure();
    a >> t.name >> t.artist >> t.album;
    a.endStructure();
    return t;
}

QList<Station> JourneyTest::stationsProperty(const char* name) {
    const QVariant v = property(name);
    QList<Station> out;
    if (!v.canConvert<QDBusArgument>()) return out;
    const QDBusArgument a = v.value<QDBusArgument>();
    a.beginArray();
    while (!a.atEnd())
        out.push_back(ReadStation(a));
    a.endArray();
    return out;
}

bool JourneyTest::call(const char* method, const QVariantList& arguments) {
    QDBusMessage m = QDBusMessage::createMethodCall(QStringLiteral("org.zym.Radio"), QStringLiteral("/org/zym/Radio"),
                                                    QStringLiteral("org.zym.Radio"), QString::fromLatin1(method));
    m.setArguments(arguments);
    return dbus_->call(m, QDBus::Block, Ms(10s)).type() == QDBusMessage::ReplyMessage;
}

// --- the screen ---

QImage JourneyTest::screenshot(const QString& name) {
    Display* d = X(x_);
    const int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    XImage* xi = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!xi) return {};
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (xi->bits_per_pixel == 32 && xi->byte_order == LSBFirst) {
            std::memcpy(line, xi->data + std::ptrdiff_t(y) * xi->bytes_per_line, std::size_t(w) * 4);
            for (int x = 0; x < w; ++x)
                line[x] |= 0xFF000000u;
        } else {
            for (int x = 0; x < w; ++x)
                line[x] = 0xFF000000u | uint(XGetPixel(xi, x, y) & 0xFFFFFF);
        }
    }
    XDestroyImage(xi);
    // A named picture is kept for whoever reads a failure; the unnamed ones are looks of a wait.
    if (!name.isEmpty())
        image.save(artifacts_ + QStringLiteral("/%1-%2.png").arg(++shots_, 2, 10, QLatin1Char('0')).arg(name));
    return image;
}

std::vector<Window> JourneyTest::windows() {
    Display* d = X(x_);
    XSync(d, False);
    std::vector<Window> out;
    int n = 0;
    const QByteArray list = Property(d, DefaultRootWindow(d), "_NET_CLIENT_LIST", XA_WINDOW, &n);
    const auto* ids = reinterpret_cast<const unsigned long*>(list.constData());
    for (int i = 0; i < n; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, ids[i], &attributes) || attributes.map_state != IsViewable) continue;
        int x = 0, y = 0;
        ::Window child;
        XTranslateCoordinates(d, ids[i], DefaultRootWindow(d), 0, 0, &x, &y, &child);
        Window w;
        w.id = ids[i];
        w.rect = QRect(x, y, attributes.width, attributes.height);
        const QByteArray title = Property(d, ids[i], "_NET_WM_NAME", XInternAtom(d, "UTF8_STRING", False));
        w.title = QString::fromUtf8(title);
        out.push_back(w);
    }
    return out;
}

std::optional<Window> JourneyTest::windowTitled(const std::function<bool(const QString&)>& match) {
    for (const Window& w : windows())
        if (match(w.title)) return w;
    return std::nullopt;
}

std::optional<Window> JourneyTest::waitForWindow(const std::function<bool(const QString&)>& match,
                                                 std::chrono::milliseconds bound) {
    std::optional<Window> found;
    waitUntil([&] { return (found = windowTitled(match)).has_value(); }, bound);
    return found;
}

std::optional<Window> JourneyTest::mainWindow() {
    std::optional<Window> best;
    for (const Window& w : windows())
        if (w.rect.height() >= 300 &&
            (!best || w.rect.width() * w.rect.height() > best->rect.width() * best->rect.height()))
            best = w;
    return best;
}

// --- the listener's hands ---

bool JourneyTest::xdotool(const QStringList& arguments) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(Ms(30s))) {
        tool.kill();
        tool.waitForFinished();
        return false;
    }
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

bool JourneyTest::activate(const Window& window) {
    return xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window.id)});
}

bool JourneyTest::keys(const Window& window, const QString& keys) {
    if (!activate(window)) return false;
    return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), keys});
}

bool JourneyTest::type(const Window& window, const QString& text) {
    if (!activate(window)) return false;
    return xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

bool JourneyTest::click(QPoint at, int button) {
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QString::number(button)});
}

bool JourneyTest::doubleClick(QPoint at) {
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
                    QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
}

// --- the sound and the server ---

Sound JourneyTest::sound() {
    Sound s;
    QFile f(wav_);
    if (!f.open(QIODevice::ReadOnly)) return s;
    const QByteArray all = f.readAll();
    if (all.size() < 12 || !all.startsWith("RIFF") || all.mid(8, 4) != "WAVE") return s;
    int channels = 0, bits = 0;
    qsizetype at = 12;
    while (at + 8 <= all.size()) {
        const QByteArray id = all.mid(at, 4);
        quint32 size;
        std::memcpy(&size, all.constData() + at + 4, 4);
        if (id == "fmt " && at + 24 <= all.size()) {
            quint16 c, b;
            quint32 r;
            std::memcpy(&c, all.constData() + at + 10, 2);
            std::memcpy(&r, all.constData() + at + 12, 4);
            std::memcpy(&b, all.constData() + at + 22, 2);
            channels = c;
            s.rate = int(r);
            bits = b;
        } else if (id == "data") {
            if (channels <= 0 || bits != 32 || s.rate <= 0) return s;
            const qsizetype start = at + 8;
            s.frames = long((all.size() - start) / (4 * channels));
            const long tail = std::min<long>(s.frames, s.rate / 2);
            double sum = 0;
            const auto* samples = reinterpret_cast<const float*>(all.constData() + start);
            for (long i = (s.frames - tail) * channels; i < s.frames * channels; ++i)
                sum += double(samples[i]) * samples[i];
            s.tailRms = tail > 0 ? std::sqrt(sum / double(tail * channels)) : 0;
            s.ok = true;
            return s;
        }
        at += 8 + size + (size & 1);
    }
    return s;
}

int JourneyTest::requestCount(const std::function<bool(const zymtest::RecordedRequest&)>& match) {
    int n = 0;
    for (const auto& r : zymtest::TestServer::Get().Requests("/demo/"))
        if (match(r)) ++n;
    return n;
}

int JourneyTest::streamRequests(const std::string& prog) {
    return requestCount([&](const zymtest::RecordedRequest& r) {
        return r.method == "GET" && r.path.find("/demo/svcstream/" + prog) == 0;
    });
}

int JourneyTest::urlRequests(const std::string& prog) {
    return requestCount([&](const zymtest::RecordedRequest& r) {
        return r.body.find("IFulfillmentGetAssetRequest") != std::string::npos &&
               r.body.find("refId=\"" + prog) != std::string::npos;
    });
}

QString JourneyTest::startOwnServer(int port) {
    stopOwnServer();
    ownServer_.setStandardErrorFile(artifacts_ + QStringLiteral("/own-server.txt"), QIODevice::Append);
    ownServer_.start(QStringLiteral("python3"), {Source(QStringLiteral("tests/server/zymserver.py")),
                                                 QStringLiteral("--port"), QString::number(port)});
    const QString ready = FirstLine(ownServer_, 30s);
    if (!ready.startsWith(QStringLiteral("READY "))) return {};
    ownPort_ = ready.mid(6).toInt();
    QProcess demo;
    demo.start(QStringLiteral("python3"), {Source(QStringLiteral("tests/server/demo.py")), QString::number(ownPort_)});
    if (!demo.waitForFinished(Ms(30s))) return {};
    return QString::fromUtf8(demo.readAllStandardOutput()).trimmed();
}

void JourneyTest::stopOwnServer() {
    if (ownServer_.state() == QProcess::NotRunning) return;
    ownServer_.kill();  // as a crash or a pulled cable: no goodbye
    ownServer_.waitForFinished(Ms(10s));
}

// --- pictures and texts ---

QString TableText(const QString& key, const QString& table) {
    QFile f(Source(QStringLiteral("resources/") + table + QStringLiteral(".strings")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = QString::fromUtf8(f.readAll());
    const QRegularExpression entry(
        QStringLiteral(R"re(^\s*"%1"\s*=\s*"((?:[^"\\]|\\.)*)"\s*;)re").arg(QRegularExpression::escape(key)),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = entry.match(text);
    return m.hasMatch() ? m.captured(1).replace(QStringLiteral("\\\""), QStringLiteral("\"")) : QString();
}

int InkPixels(const QImage& image, const QRect& region, QColor ground, int tolerance) {
    int n = 0;
    const QRect r = region.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - ground.red()) > tolerance || std::abs(c.green() - ground.green()) > tolerance ||
                std::abs(c.blue() - ground.blue()) > tolerance)
                ++n;
        }
    return n;
}

QColor CommonColor(const QImage& image, const QRect& region) {
    QHash<QRgb, int> counts;
    const QRect r = region.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    return QColor::fromRgb(best);
}

}  // namespace journey

namespace journey {

QString JourneyTest::listeningSettings(const QString& station) {
    return QStringLiteral(
               "play_at_launch=true\nplaying_station=%1\nnetwork_bandwidth_user_prompted=true\n"
               "network_bandwidth_limit=15000000\n")
        .arg(station);
}

void JourneyTest::startListening(const QString& station, const QString& settings) {
    newProfile(listeningSettings(station) + settings);
    storePassword();
    launch();
    ASSERT_TRUE(waitPlaying(station)) << "station " << station.toStdString() << " did not start playing";
    if (const std::optional<Window> main = mainWindow()) {
        const QRect r = main->rect;
        RecordProperty(
            "mainWindow",
            QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString());
    }
}

bool JourneyTest::waitPlaying(const QString& station, std::chrono::milliseconds bound) {
    return waitUntil([&] { return running() && busUp() && isPlaying() && playingStation().id == station; }, bound);
}

QRect JourneyTest::stationTable(const Window& main) {
    // Below the display, the presets bar and the search field, right of the source list;
    // the name and description columns, short of the ad panel's banner beside the table
    // even in a window narrowed to fit the screen (the table may widen when the panel goes).
    const QRect r = main.rect;
    return QRect(r.left() + 160, r.top() + kListsTop + 2, 380, r.height() - kListsTop - 16);
}

QRect JourneyTest::sourceList(const Window& main) {
    const QRect r = main.rect;
    return QRect(r.left() + 12, r.top() + kListsTop + 2, 138, r.height() - kListsTop - 16);
}

QPoint JourneyTest::genreRow(const Window& main, int row) {
    return QPoint(main.rect.left() + 60, main.rect.top() + kListsTop + 9 + 18 * row);
}

int JourneyTest::textRows(const QImage& screen, const QRect& region) {
    const QRect r = region.intersected(screen.rect());
    if (r.isEmpty()) return 0;
    int rows = 0;
    bool inRow = false;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        // Against the line's own ground, so that text on a selected row counts too.
        const QRect line(r.left(), y, r.width(), 1);
        const bool ink = InkPixels(screen, line, CommonColor(screen, line), 60) >= 3;
        if (ink && !inRow) ++rows;
        inRow = ink;
    }
    return rows;
}

int JourneyTest::highlightedLines(const QImage& screen, const QRect& region) {
    const QRect r = region.intersected(screen.rect());
    if (r.isEmpty()) return 0;
    const QColor ground = CommonColor(screen, r);
    int lines = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const QRect line(r.left(), y, r.width(), 1);
        const QColor own = CommonColor(screen, line);
        // A selected row: its own ground across most of the line, unlike the list's.
        if (own != ground && InkPixels(screen, line, own, 12) < line.width() * 3 / 10) ++lines;
    }
    return lines;
}

}  // namespace journey
