// The now-playing display of the main window: its lines from the player's state, the
// current track's document and the service; link menus, album art and the song-time
// label.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QUrl>

#include "app/foundation/Localizer.h"
#include "app/foundation/Resources.h"
#include "app/foundation/ServiceLayerError.h"
#include "app/foundation/UserDefaults.h"
#include "app/radio/ZYMRadioStation.h"
#include "app/ui/AlbumArtStore.h"
#include "app/ui/Buttons.h"
#include "app/ui/ColorSchemeController.h"
#include "app/ui/DisplayLineDelegate.h"
#include "app/ui/DisplayTexts.h"
#include "app/ui/DrawingHelpers.h"
#include "app/ui/LineLayoutView.h"
#include "app/ui/NowPlayingDisplay.h"
#include "app/radio/RadioMetadataParser.h"
#include "app/ui/RadioWindowController.h"
#include "app/ui/RadioWindowDisplay.h"
#include "app/ui/TextFields.h"

namespace {
constexpr int kArtistButton = 200;
constexpr int kSongButton = 201;
constexpr int kAlbumButton = 202;
constexpr int kSignOnButton = 203;
constexpr int kStoreLinkItem = 100;
constexpr int kGuideLinkItem = 101;
const QString kArtistPlaceholder = QStringLiteral("__ARTIST_NAME__");
const QString kSongPlaceholder = QStringLiteral("__SONG_NAME__");
const QString kAlbumPlaceholder = QStringLiteral("__ALBUM_NAME__");
const QString kSetIChatStatus = QStringLiteral("set_ichat_status");

QFont displayFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(std::max<qreal>(7, font.pointSizeF() - 1));
    return font;
}

bool isPlain(const LineRun& run) { return !run.buttonTag && run.imageName.isEmpty(); }

// Replaces the first `placeholder` in the line's plain text by `replacement`; text that
// came from a name is never searched.
void replaceFirst(LineString& line, const QString& placeholder, const LineRun& replacement) {
    for (int i = 0; i < line.runs.size(); ++i) {
        const LineRun run = line.runs[i];
        if (!isPlain(run)) continue;
        const qsizetype at = run.text.text.indexOf(placeholder);
        if (at < 0) continue;
        LineRun before = run, after = run;
        before.text.text = run.text.text.left(at);
        after.text.text = run.text.text.mid(at + placeholder.size());
        line.runs.removeAt(i);
        int k = i;
        if (!before.text.text.isEmpty()) line.runs.insert(k++, before);
        line.runs.insert(k++, replacement);
        if (!after.text.text.isEmpty()) line.runs.insert(k, after);
        return;
    }
}

QString orFallback(const std::optional<QString>& value, const StringKey& fallback) {
    return value && !value->isEmpty() ? *value : localized(fallback);
}
}  // namespace

DisplayLineDelegate::DisplayLineDelegate(RadioWindowController& window) : window_(window) {}

QAbstractButton* DisplayLineDelegate::createButtonWithTag(int tag) {
    auto* button = new DisplayButton(tag);
    button->setObjectName(QStringLiteral("displayButton%1").arg(tag));
    button->setCellShowsBorderOnlyWhileMouseInside(true);
    button->setButtonColor(window_.colors().colorForKey(QString::fromLatin1(kDisplayTextColorKey)));
    if (tag == kSignOnButton)
        QObject::connect(button, &QAbstractButton::clicked, &window_, [this] { window_.signOn(); });
    else
        button->setPopupMenu(window_.linkMenu(tag));
    std::erase_if(created_, [](const QPointer<DisplayButton>& b) { return b.isNull(); });
    created_.emplace_back(button);
    return button;
}

QWidget* DisplayLineDelegate::createImageWithName(const QString& name) {
    auto* view = new QLabel;
    view->setObjectName(QStringLiteral("image_") + name);
    const QImage image = imageNamed(name);
    view->setPixmap(QPixmap::fromImage(image));
    view->setFixedSize(image.size());
    view->setAlignment(Qt::AlignCenter);
    return view;
}

DisplayButton* DisplayLineDelegate::button(const void* object) const {
    for (const auto& b : created_)
        if (b && b.data() == object) return b.data();
    return nullptr;
}

RadioWindowDisplay::RadioWindowDisplay(RadioWindowController& window, NowPlayingDisplay& display)
    : window_(window), display_(display) {}

RadioWindowDisplay::~RadioWindowDisplay() = default;

void RadioWindowDisplay::setup() {
    for (int tag : {kArtistButton, kSongButton, kAlbumButton}) {
        auto* menu = new QMenu(window_.window());
        menu->setObjectName(QStringLiteral("linkMenu%1").arg(tag));
        QAction* store = menu->addAction(localized(DisplayKeys::LinkMenuStoreItem));
        QAction* guide = menu->addAction(localized(DisplayKeys::LinkMenuGuideItem));
        store->setProperty("tag", kStoreLinkItem);
        guide->setProperty("tag", kGuideLinkItem);
        for (QAction* item : {store, guide})
            connect(item, &QAction::triggered, this, [this, item] { loadMetadataLink(item); });
        linkMenus_[tag] = menu;
    }
    lineDelegate_ = std::make_shared<DisplayLineDelegate>(window_);
    display_.line1()->setDelegate(lineDelegate_.get());
    display_.line2()->setDelegate(lineDelegate_.get());
    connect(display_.songTimeLabel(), &ClickableTextField::clicked, this, [this] { toggleSongTimeLabelState(); });
    resetToDefaultAlbumArt();
}

QPixmap RadioWindowDisplay::logo() {
    QPixmap bundled(Resources::find(QStringLiteral("zym_logo"), QStringLiteral("png")));
    if (!bundled.isNull()) return bundled;
    QPixmap drawn(80, 80);
    drawn.fill(QColor(0xf0, 0x8a, 0x24));
    QPainter painter(&drawn);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(26);
    painter.setFont(font);
    painter.drawText(drawn.rect(), Qt::AlignCenter, QStringLiteral("ZYM"));
    return drawn;
}

void RadioWindowDisplay::setColorSchemeController(ColorSchemeController* colors) {
    colors_ = colors;
    interfaceColorsChanged();
}

ColorSchemeController& RadioWindowDisplay::colors() const {
    return colors_ ? *colors_ : ColorSchemeController::shared();
}

LineString RadioWindowDisplay::plainLine(const QString& text) const {
    LineString line;
    line.alignment = Qt::AlignHCenter;
    line.truncateTail = true;
    if (!text.isEmpty())
        line.runs.append(
            LineRun{TextRun{text, displayFont(), colors().colorForKey(QString::fromLatin1(kDisplayTextColorKey))},
                    std::nullopt, QString()});
    return line;
}

void RadioWindowDisplay::setValueOfNowPlayingView(LineLayoutView* view, const QString& text) {
    view->setAttributedStringValue(plainLine(text));
}

LineString RadioWindowDisplay::nowPlayingAttributedStringWithFormat(const QString& format) const {
    LineString line = plainLine(format);
    const auto button = [&](int tag, const QString& text) {
        LineRun run = line.runs.isEmpty() ? LineRun{} : line.runs.front();
        run.text.text = text;
        run.buttonTag = tag;
        run.imageName.clear();
        return run;
    };
    const RadioMetadataParser* doc = window_.currentTrackMetadata();
    const auto part = [&](std::optional<QString> (RadioMetadataParser::*get)() const) {
        return doc ? (doc->*get)() : std::nullopt;
    };
    replaceFirst(
        line, kArtistPlaceholder,
        button(kArtistButton, orFallback(part(&RadioMetadataParser::songArtist), DisplayKeys::UnknownArtistName)));
    replaceFirst(line, kSongPlaceholder,
                 button(kSongButton, orFallback(part(&RadioMetadataParser::songName), DisplayKeys::UnknownSongName)));
    replaceFirst(
        line, kAlbumPlaceholder,
        button(kAlbumButton, orFallback(part(&RadioMetadataParser::songAlbum), DisplayKeys::UnknownAlbumName)));
    return line;
}

LineString RadioWindowDisplay::notConnectedAttributedStringWithFormat(const QString& format) const {
    LineString line = plainLine(format);
    if (line.runs.isEmpty()) return line;
    LineRun image = line.runs.front();
    image.text.text = QStringLiteral(" ");
    image.imageName = QStringLiteral("SmallGrayWarning");
    replaceFirst(line, QStringLiteral("__WARNING__"), image);
    LineRun button = line.runs.front();
    button.text.text = localized(DisplayKeys::SignOnButtonLabel);
    button.imageName.clear();
    button.buttonTag = kSignOnButton;
    replaceFirst(line, QStringLiteral("__SIGNON_BUTTON__"), button);
    return line;
}

void RadioWindowDisplay::showStationInDisplay(const ZYMRadioStation* station) {
    if (station) {
        setValueOfNowPlayingView(display_.line1(), station->name());
        setValueOfNowPlayingView(display_.line2(), station->stationDescription().value_or(QString()));
    } else {
        setValueOfNowPlayingView(display_.line1(), QString());
        setValueOfNowPlayingView(display_.line2(), localized(DisplayKeys::BlankDisplayText));
    }
}

QString RadioWindowDisplay::lineText(int line) const {
    LineLayoutView* view = line == 1 ? display_.line1() : display_.line2();
    QString text;
    for (const LineRun& run : view->attributedStringValue().runs)
        text += run.imageName.isEmpty() ? run.text.text : QString();
    return text;
}

QString RadioWindowDisplay::displayText() const { return lineText(1) + QLatin1Char('\n') + lineText(2); }

void RadioWindowDisplay::setProgressText(const QString& text) {
    progressText_ = text;
    updateDisplay();
}

void RadioWindowDisplay::updateDisplay() {
    const auto station = window_.playingStation();
    const QString name = station ? station->name() : QString();
    const QString description = station ? station->stationDescription().value_or(QString()) : QString();
    const auto stationLines = [&] {
        setValueOfNowPlayingView(display_.line1(), localized(DisplayKeys::MP3Line1Format));
        setValueOfNowPlayingView(display_.line2(), localizedFormat(DisplayKeys::MP3Line2Format, {name, description}));
        display_.comingSoonLine()->clear();
        refreshChatStatus();
    };
    const auto comingSoon = [&] {
        const QStringList soon = window_.currentTrackMetadata()->comingSoon();
        display_.comingSoonLine()->setText(
            soon.isEmpty() ? QString()
                           : localizedFormat(DisplayKeys::ComingSoonFormat,
                                             {soon.join(localized(DisplayKeys::ComingSoonConcatString))}));
    };
    // A stop clears the station before the player has faded out: the stopped display then.
    if (station && window_.player() && window_.player()->playerState() == RadioPlayer::Playing) {
        const RadioMetadataParser* doc = window_.currentTrackMetadata();
        if (!doc) {
            stationLines();
        } else if (doc->isSong() && doc->hasSongName() && doc->hasSongAlbum() && doc->hasSongArtist()) {
            display_.line1()->setAttributedStringValue(
                nowPlayingAttributedStringWithFormat(localized(DisplayKeys::NowPlayingLine1Format)));
            display_.line2()->setAttributedStringValue(
                nowPlayingAttributedStringWithFormat(localized(DisplayKeys::NowPlayingLine2Format)));
            comingSoon();
        } else if (doc->isPromo()) {
            setValueOfNowPlayingView(display_.line1(), localized(DisplayKeys::AudioAdLine1Format));
            setValueOfNowPlayingView(display_.line2(), localized(DisplayKeys::AudioAdLine2Format));
            comingSoon();
        } else if (doc->isSong() && doc->hasSongName()) {
            setValueOfNowPlayingView(display_.line1(), localized(DisplayKeys::MP3Line1Format));
            setValueOfNowPlayingView(display_.line2(), localizedFormat(DisplayKeys::MP3Line2Format,
                                                                       {name, doc->songName().value_or(QString())}));
            display_.comingSoonLine()->clear();
            refreshChatStatus();
        } else {
            stationLines();
        }
        updateSongTimeLabel(std::nullopt);
        if (trackTimer_) trackTimeUpdate(*trackTimer_);
        return;
    }
    if (window_.radioService().serviceAvailable() || window_.radioService().servicePending()) {
        if (!progressText_.isEmpty()) {
            setValueOfNowPlayingView(display_.line1(), QString());
            setValueOfNowPlayingView(display_.line2(), progressText_);
        } else {
            showStationInDisplay(window_.activeStation().get());
        }
    } else {
        // A failure or cancel stays readable, beside the warning, until the next status.
        const QString first = progressText_.isEmpty() ? localized(DisplayKeys::NotConnectedLine1Format)
                                                      : QStringLiteral("__WARNING__ ") + progressText_;
        display_.line1()->setAttributedStringValue(notConnectedAttributedStringWithFormat(first));
        display_.line2()->setAttributedStringValue(
            notConnectedAttributedStringWithFormat(localized(DisplayKeys::NotConnectedLine2Format)));
    }
    display_.comingSoonLine()->clear();
    updateSongTimeLabel(QString());
}

// ---- link menus ----------------------------------------------------------------------

void RadioWindowDisplay::linkButtonWillPopUp(const void* object) {
    if (DisplayButton* b = lineDelegate_ ? lineDelegate_->button(object) : nullptr) prepareLinkMenu(b->tag());
}

QMenu* RadioWindowDisplay::linkMenu(int tag) const {
    const auto it = linkMenus_.find(tag);
    return it == linkMenus_.end() ? nullptr : it->second;
}

void RadioWindowDisplay::prepareLinkMenu(int tag) {
    QMenu* menu = linkMenu(tag);
    if (!menu) return;
    const RadioMetadataParser* doc = window_.currentTrackMetadata();
    for (QAction* item : menu->actions()) {
        const int itemTag = item->property("tag").toInt();
        if (itemTag != kStoreLinkItem && itemTag != kGuideLinkItem) continue;
        item->setEnabled(doc != nullptr);
        QString url;
        if (doc && itemTag == kStoreLinkItem)
            url = tag == kSongButton     ? doc->iTunesURLForSong()
                  : tag == kArtistButton ? doc->iTunesURLForArtist()
                                         : doc->iTunesURLForAlbum();
        else if (doc)
            url = tag == kSongButton     ? doc->amgURLForSong()
                  : tag == kArtistButton ? doc->amgURLForArtist()
                                         : doc->amgURLForAlbum();
        item->setData(doc ? QVariant(url) : QVariant());
    }
}

void RadioWindowDisplay::loadMetadataLink(QAction* item) {
    if (!item || item->data().typeId() != QMetaType::QString) return;
    QDesktopServices::openUrl(QUrl(item->data().toString()));
}

void RadioWindowDisplay::copySongInfo() {
    const RadioMetadataParser* doc = window_.currentTrackMetadata();
    if (!doc || !doc->isSong()) return;
    QString info = localized(DisplayKeys::ClipboardSongInfoFormat);
    // A missing part reads as nothing rather than as a placeholder.
    info.replace(kArtistPlaceholder, doc->songArtist().value_or(QString()));
    info.replace(kSongPlaceholder, doc->songName().value_or(QString()));
    info.replace(kAlbumPlaceholder, doc->songAlbum().value_or(QString()));
    QApplication::clipboard()->setText(info);
}

// ---- album art -----------------------------------------------------------------------

void RadioWindowDisplay::showTrackAlbumArt() {
    const RadioMetadataParser* currentTrack = window_.currentTrackMetadata();
    const QImage& image = currentTrack ? currentTrack->albumArtImage() : QImage();
    if (!image.isNull())
        display_.albumArtView()->setPixmap(QPixmap::fromImage(image));
    else
        display_.albumArtView()->setPixmap(logo());
}

void RadioWindowDisplay::resetToDefaultAlbumArt() {
    display_.albumArtView()->setFrameStyle(QFrame::NoFrame);
    display_.albumArtView()->setPixmap(logo());
}

void RadioWindowDisplay::albumArtLoadingNotification(const void* parser) {
    const RadioMetadataParser* currentTrack = window_.currentTrackMetadata();
    if (!parser || parser != currentTrack) return;
    if (!currentTrack->albumArtImage().isNull()) {
        display_.albumArtView()->setPixmap(QPixmap::fromImage(currentTrack->albumArtImage()));
        display_.albumArtView()->setFrameStyle(QFrame::Box | QFrame::Plain);
    }
    showNowPlayingOverlay();
    refreshChatStatus();
}

void RadioWindowDisplay::albumArtLoaded(const void* parser) {
    // The document whose art arrived, never a neighbour's: the next track's document may
    // already wait while the current one's art comes in.
    const RadioMetadataParser* doc = parser == window_.currentTrackMetadata() ? window_.currentTrackMetadata()
                                     : parser == window_.nextTrackMetadata()  ? window_.nextTrackMetadata()
                                                                              : nullptr;
    if (!doc) return;
    AlbumArtStore::store(*doc, albumArtFolder_.isEmpty() ? AlbumArtStore::defaultFolder() : albumArtFolder_,
                         window_.defaults());
}

void RadioWindowDisplay::interfaceColorsChanged() {
    const QColor text = colors().colorForKey(QString::fromLatin1(kDisplayTextColorKey));
    for (QLabel* label : {display_.comingSoonLine(), static_cast<QLabel*>(display_.hoverLine()),
                          static_cast<QLabel*>(display_.songTimeLabel())}) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, text);
        label->setPalette(pal);
    }
    display_.update();
    updateDisplay();
}

// ---- chat status ---------------------------------------------------------------------

void RadioWindowDisplay::setupChatStatus() {
    chatStatus_ = std::make_unique<ChatStatus>(ScriptRunner::system(), *window_.environment().clock,
                                               *window_.environment().scheduler, window_.environment().chatClient);
    connect(&window_, &RadioWindowController::playingStateChanged, this, [this] {
        Guarded("chat status", [this] {
            if (window_.isPreparingOrBufferingOrPlaying())
                updateIChatNowPlaying();
            else
                clearIChatNowPlaying(false);
        });
    });
}

void RadioWindowDisplay::setChatScriptRunner(ScriptRunner& runner) {
    chatStatus_ = std::make_unique<ChatStatus>(runner, *window_.environment().clock, *window_.environment().scheduler,
                                               window_.environment().chatClient);
}

void RadioWindowDisplay::updateIChatNowPlaying() {
    if (!window_.defaults().boolean(kSetIChatStatus)) return;
    // An audio ad leaves the last song in the status.
    const RadioMetadataParser* currentTrack = window_.currentTrackMetadata();
    if (currentTrack && currentTrack->isPromo()) return;
    if (!window_.isPreparingOrBufferingOrPlaying()) return;
    const bool song = currentTrack && currentTrack->isSong();
    const QString artist = song ? currentTrack->songArtist().value_or(QString()) : QString();
    const QString name = song ? currentTrack->songName().value_or(QString()) : QString();
    const QString message = !artist.isEmpty() && !name.isEmpty()
                                ? formatOnePass(RadioWindowController::text("ChatStatusMessage"), {artist, name})
                                : formatOnePass(RadioWindowController::text("ChatStatusMessageNoMetadata"),
                                                {window_.playingStation()->name()});
    chatStatus_->setIMStatusMessage(message);
}

void RadioWindowDisplay::clearIChatNowPlaying(bool force) {
    if (force || window_.defaults().boolean(kSetIChatStatus)) chatStatus_->setIMStatusMessage(QString(""));
}

void RadioWindowDisplay::chatStatusPreferenceChanged() {
    if (window_.defaults().boolean(kSetIChatStatus))
        updateIChatNowPlaying();
    else
        clearIChatNowPlaying(true);
}

// ---- track time ----------------------------------------------------------------------

void RadioWindowDisplay::updateTrackTimer(float position, float total) {
    if (!trackTimer_) {
        trackTimer_ =
            std::make_unique<RadioTrackTimeController>(*window_.environment().clock, *window_.environment().scheduler);
        trackTimer_->setDelegate([this](RadioTrackTimeController& ticker) { trackTimeUpdate(ticker); });
    }
    trackTimer_->setTotalTime(total);
    trackTimer_->setCurrentTime(position);
}

void RadioWindowDisplay::trackTimeUpdate(RadioTrackTimeController& ticker) {
    const auto station = window_.playingStation();
    const int type = station ? station->stationType() : ZYMRadioStation::kTypeZYM;
    QString text;
    if (type == ZYMRadioStation::kTypeLive || type == ZYMRadioStation::kTypeUser ||
        (type != ZYMRadioStation::kTypeZYM && ticker.totalTime() <= 0)) {
        const QString frames = localized(DisplayKeys::LiveStationAnimationFrames);
        const long long second = static_cast<long long>(ticker.currentTime());
        const QString frame =
            frames.isEmpty() ? QString()
                             : QString(frames[qsizetype(((second % frames.size()) + frames.size()) % frames.size())]);
        text = localizedFormat(DisplayKeys::LiveStationBannerFormat, {frame});
    } else if (!station) {
        text = QString("");
    } else {
        // A track of no known length is a stream whose player reports no positions (plain
        // HTTP): its time counts from its start, as scripts read it too.
        const bool elapsedKnown = window_.playSession().displayElapsedTime() || ticker.totalTime() <= 0;
        const QString current =
            elapsedKnown ? FormatMinutesSeconds(ticker.currentTime()) : localized(DisplayKeys::TimeFormatUnknown);
        text =
            localizedFormat(DisplayKeys::SongTimeProgressFormat, {current, FormatMinutesSeconds(ticker.totalTime())});
    }
    updateSongTimeLabel(text);
}

void RadioWindowDisplay::trackEnded() {
    // Gone with its track: nothing reads a time that runs on after the end.
    trackTimer_.reset();
    updateSongTimeLabel(QString(""));
}

void RadioWindowDisplay::updateSongTimeLabel(const std::optional<QString>& text) {
    ClickableTextField* label = display_.songTimeLabel();
    if (songTimeLabelState_ == 0) {
        if (text) label->setText(*text);
        return;
    }
    label->setText(window_.playSession().formatDescription());
}

QString RadioWindowDisplay::songTimeLabelText() const { return display_.songTimeLabel()->text(); }

void RadioWindowDisplay::toggleSongTimeLabelState() { setSongTimeLabelState(songTimeLabelState_ == 0 ? 2 : 0); }

void RadioWindowDisplay::setSongTimeLabelState(int state) {
    const bool changed = state != songTimeLabelState_;
    songTimeLabelState_ = state;
    if (changed) updateDisplay();
    if (state != 0) {
        songTimeLabelTimer_ = window_.environment().scheduler->singleShot(std::chrono::seconds(5), [this] {
            songTimeLabelTimer_.reset();
            setSongTimeLabelState(0);
        });
    }
}
