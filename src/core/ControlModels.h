// Small models behind the program's controls: a slider, a two-bar level meter, a button and a
// deck display. The logic drives these; widgets only draw them and forward input, so every
// window's behaviour can be tested without widgets. Thread: UI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace kelvra {

// Back colours that mean lit and unlit on buttons and lamps.
inline constexpr int kColourOn = 65280;         // bright green
inline constexpr int kColourOff = 32768;        // dark green
inline constexpr int kColourNone = -1;          // the widget's own look
inline constexpr int kColourLitRed = 0x2020E0;  // a warning lit: recording, a killed band
// The hot cues' colours, pads and marks alike: eight a DJ tells apart in a dark room (red,
// orange, yellow, green, cyan, blue, violet, pink).
inline constexpr int kHotCueColours[8] = {0x3030E8, 0x1C8CF5, 0x20D8F0, 0x40D040,
                                          0xE0D030, 0xF07030, 0xE050A0, 0xA060F0};

enum class Orientation { Horizontal, Vertical };

// An integer slider. Every change of value, by the user or by the program, sends changed(): the
// automatic fade, the keyboard and the pitch-to-zero buttons reach the mixer and pitch code only
// through that notification, exactly like a drag would.
class SliderModel : public QObject {
    Q_OBJECT
  public:
    SliderModel(int minimum, int maximum, int value,
                Orientation orientation = Orientation::Vertical, QObject* parent = nullptr);

    int value() const { return value_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int smallChange() const { return smallChange_; }
    int largeChange() const { return largeChange_; }
    int tickSpacing() const { return tickSpacing_; }
    Orientation orientation() const { return orientation_; }
    QString toolTip() const { return toolTip_; }

    // Clamped to minimum..maximum; sends changed() when the value moves.
    void setValue(int value);
    void setRange(int minimum, int maximum);
    void setSteps(int smallChange, int largeChange) {
        smallChange_ = smallChange;
        largeChange_ = largeChange;
    }
    void setTickSpacing(int spacing) { tickSpacing_ = spacing; }
    void setToolTip(const QString& text) { toolTip_ = text; }

    // Input forwarded by the widget.
    void pressMouse(Qt::MouseButton button) { emit mousePressed(button); }
    void drop() { emit dropped(); }

  signals:
    void changed(int value);
    void rangeChanged();
    void mousePressed(Qt::MouseButton button);
    void dropped();

  private:
    int minimum_;
    int maximum_;
    int value_;
    int smallChange_ = 1;
    int largeChange_ = 1;
    int tickSpacing_ = 0;
    Orientation orientation_;
    QString toolTip_;
};

// A two-bar peak meter. The first level is drawn as the right bar, the second as the left bar;
// both arrive in the audio engine's level units, so full scale is the engine's largest level.
class LevelMeterModel : public QObject {
    Q_OBJECT
  public:
    explicit LevelMeterModel(int fullScale, QObject* parent = nullptr)
        : QObject(parent), fullScale_(fullScale) {}

    int firstLevel() const { return first_; }    // right bar
    int secondLevel() const { return second_; }  // left bar
    int fullScale() const { return fullScale_; }
    void setFirstLevel(int level);
    void setSecondLevel(int level);

  signals:
    void changed();
    // Every write, the same level again included: a steady tone is still a level coming in.
    void written();

  private:
    int fullScale_;
    int first_ = 0;
    int second_ = 0;
};

// A push button or label button: caption, tool tip, back colour, and the clicks and presses the
// program listens to.
class ButtonModel : public QObject {
    Q_OBJECT
  public:
    explicit ButtonModel(QString caption = {}, QString toolTip = {}, QObject* parent = nullptr)
        : QObject(parent), caption_(std::move(caption)), toolTip_(std::move(toolTip)) {}

    QString caption() const { return caption_; }
    QString toolTip() const { return toolTip_; }
    int backColour() const { return backColour_; }
    // Whether the button is on (a deck's key lock, a set hot cue, a kill, the recording): what
    // controller lights and scripts read. The colour only draws it.
    bool isLit() const { return lit_; }
    bool isVisible() const { return visible_; }
    bool isEnabled() const { return enabled_; }
    void setCaption(const QString& caption);
    void setToolTip(const QString& toolTip);
    void setBackColour(int colour);
    // Sets the state and paints it in one go.
    void setLit(bool lit, int litColour = kColourOn, int unlitColour = kColourOff);
    void setVisible(bool visible);
    void setEnabled(bool enabled);

    // Input forwarded by the widget (and used by the keyboard map to press a button).
    void click() { emit clicked(); }
    void pressMouse(Qt::MouseButton button) { emit mousePressed(button); }
    void releaseMouse(Qt::MouseButton button) { emit mouseReleased(button); }
    void drop() { emit dropped(); }

  signals:
    void clicked();
    void mousePressed(Qt::MouseButton button);
    void mouseReleased(Qt::MouseButton button);
    void changed();
    void dropped();

  private:
    QString caption_;
    QString toolTip_;
    int backColour_ = kColourNone;
    bool lit_ = false;
    bool visible_ = true;
    bool enabled_ = true;
};

// A jog wheel: turns in ticks (positive clockwise) and its touch-sensitive top. A controller is
// its only hand; the deck decides what a turn does (a bend while playing, a scratch while
// touched).
class JogModel : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    bool touched() const { return touched_; }
    void turn(int ticks) {
        if (ticks != 0) emit turned(ticks);
    }
    void setTouched(bool touched) {
        if (touched == touched_) return;
        touched_ = touched;
        emit touchChanged(touched);
    }

  signals:
    void turned(int ticks);
    void touchChanged(bool touched);

  private:
    bool touched_ = false;
};

// A surface that only takes drops (a deck panel's background).
class DropTargetModel : public QObject {
    Q_OBJECT
  public:
    explicit DropTargetModel(QObject* parent = nullptr) : QObject(parent) {}
    void drop() { emit dropped(); }

  signals:
    void dropped();
};

// A whole song at a glance for a deck's position bar: for each column from start to end, the
// peaks of the lows, mids and highs, 0..255 of full scale.
struct OverviewWaveform {
    std::vector<std::array<std::uint8_t, 3>> columns;
};

// A deck's display: title, time and pitch texts, a draggable position bar 0..100, lamps and
// search indicators.
class DeckDisplayModel : public QObject {
    Q_OBJECT
  public:
    enum Lamp { Busy, Play, Pause, Stop, Cue, ExtraA, ExtraB, LampCount };

    explicit DeckDisplayModel(QObject* parent = nullptr) : QObject(parent) {}

    QString displayText() const { return displayText_; }
    QString timeText() const { return timeText_; }
    // The song's title and artist, shown large and whole while the full title line would have
    // to scroll; empty until a song is loaded.
    QString headlineTitle() const { return headlineTitle_; }
    QString headlineArtist() const { return headlineArtist_; }
    // The time played so far, beside the time left when the DJ wants both.
    QString elapsedText() const { return elapsedText_; }
    bool showsElapsed() const { return showsElapsed_; }
    QString pitchText() const { return pitchText_; }
    QString furtherText() const { return furtherText_; }
    // The song's tempo and the tempo it plays at.
    QString tempoText() const { return tempoText_; }
    // The song's key ("8B  C major"), lit when it mixes with the other deck's.
    QString keyText() const { return keyText_; }
    bool keyCompatible() const { return keyCompatible_; }
    // A passing word from the deck (why Sync could not act); empty when there is none.
    QString noticeText() const { return noticeText_; }
    std::shared_ptr<const OverviewWaveform> overview() const { return overview_; }
    // Where the cue point and the previous cue sit, as shares 0..1 of the song; -1: not shown.
    double cueMark() const { return cueMark_; }
    double previousCueMark() const { return previousCueMark_; }
    // The hot cues' marks as shares of the song, -1 where a slot is empty.
    using HotCueMarks = std::array<double, 8>;
    const HotCueMarks& hotCueMarks() const { return hotCueMarks_; }
    // The loop's in and out as shares of the song (-1: not set), and whether it plays.
    double loopInMark() const { return loopIn_; }
    double loopOutMark() const { return loopOut_; }
    bool loopActive() const { return loopActive_; }
    int positionBar() const { return positionBar_; }
    bool lamp(Lamp lamp) const { return lamps_[lamp]; }
    int searchArrow() const { return searchArrow_; }
    int searchIndicator() const { return searchIndicator_; }

    void setDisplayText(const QString& text) { set(displayText_, text); }
    void setTimeText(const QString& text) { set(timeText_, text); }
    void setHeadline(const QString& title, const QString& artist) {
        set(headlineTitle_, title);
        set(headlineArtist_, artist);
    }
    void setElapsedText(const QString& text) { set(elapsedText_, text); }
    void setShowsElapsed(bool shown) { set(showsElapsed_, shown); }
    void setPitchText(const QString& text) { set(pitchText_, text); }
    void setFurtherText(const QString& text) { set(furtherText_, text); }
    void setTempoText(const QString& text) { set(tempoText_, text); }
    void setKey(const QString& text, bool compatible) {
        set(keyText_, text);
        set(keyCompatible_, compatible);
    }
    void setNoticeText(const QString& text) { set(noticeText_, text); }
    void setOverview(std::shared_ptr<const OverviewWaveform> overview) { set(overview_, overview); }
    void setHotCueMarks(const HotCueMarks& marks) { set(hotCueMarks_, marks); }
    void setLoopMarks(double in, double out, bool active) {
        set(loopIn_, in);
        set(loopOut_, out);
        set(loopActive_, active);
    }
    void setCueMarks(double cue, double previous) {
        set(cueMark_, cue);
        set(previousCueMark_, previous);
    }
    // The program moves the bar; the user drags it (the deck reads the dragged value back).
    void setPositionBar(int percent);
    void setLamp(Lamp lamp, bool on);
    void setSearchArrow(int arrow) { set(searchArrow_, arrow); }
    void setSearchIndicator(int indicator) { set(searchIndicator_, indicator); }

    void drop() { emit dropped(); }

  signals:
    void changed();
    void dropped();

  private:
    template <typename T>
    void set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        emit changed();
    }

    QString displayText_;
    QString timeText_;
    QString headlineTitle_;
    QString headlineArtist_;
    QString elapsedText_;
    bool showsElapsed_ = false;
    QString pitchText_;
    QString furtherText_;
    QString tempoText_;
    QString keyText_;
    bool keyCompatible_ = false;
    QString noticeText_;
    std::shared_ptr<const OverviewWaveform> overview_;
    double cueMark_ = -1;
    double previousCueMark_ = -1;
    HotCueMarks hotCueMarks_{-1, -1, -1, -1, -1, -1, -1, -1};
    double loopIn_ = -1, loopOut_ = -1;
    bool loopActive_ = false;
    int positionBar_ = 0;
    bool lamps_[LampCount] = {};
    int searchArrow_ = 2;
    int searchIndicator_ = 2;
};

// A list to choose one entry from (a drop-down list, or a group of option buttons). Index -1 is
// "nothing chosen".
class ChoiceModel : public QObject {
    Q_OBJECT
  public:
    explicit ChoiceModel(QStringList items = {}, QObject* parent = nullptr)
        : QObject(parent), items_(std::move(items)) {}

    QStringList items() const { return items_; }
    int currentIndex() const { return current_; }
    QString currentText() const { return current_ >= 0 ? items_.value(current_) : QString(); }
    QString toolTip() const { return toolTip_; }
    void setToolTip(const QString& text) { toolTip_ = text; }
    // Whether the user may pick entry `index` (an option button can be greyed out).
    bool isItemEnabled(int index) const { return !disabled_.contains(index); }
    void setItemEnabled(int index, bool enabled);

    void clear();
    void addItem(const QString& item);
    // Set by the program: no choose() notification, only changed().
    void setCurrentIndex(int index);
    // The user picks an entry: sets it and sends chosen().
    void choose(int index);

  signals:
    void changed();
    void chosen(int index);

  private:
    QStringList items_;
    int current_ = -1;
    QString toolTip_;
    QList<int> disabled_;
};

// An editable text box; the view reports when the user leaves it.
class TextModel : public QObject {
    Q_OBJECT
  public:
    explicit TextModel(QObject* parent = nullptr) : QObject(parent) {}
    QString text() const { return text_; }
    QString toolTip() const { return toolTip_; }
    void setToolTip(const QString& text) { toolTip_ = text; }
    void setText(const QString& text);
    // Input forwarded by the widget.
    void edit(const QString& text) { setText(text); }
    void leave() { emit leftByUser(); }
    // The user pressed the mouse on the box to drag its text away (the next-song box).
    void startDrag() { emit dragStarted(); }

  signals:
    void changed();
    void leftByUser();
    void dragStarted();

  private:
    QString text_;
    QString toolTip_;
};

// A check box: 1 checked, 0 unchecked. The user's click toggles it and sends clicked().
class CheckModel : public QObject {
    Q_OBJECT
  public:
    explicit CheckModel(QString caption = {}, QObject* parent = nullptr)
        : QObject(parent), caption_(std::move(caption)) {}
    QString caption() const { return caption_; }
    int value() const { return value_; }
    bool isChecked() const { return value_ == 1; }
    void setValue(int value);
    // Input forwarded by the widget.
    void click() {
        setValue(value_ == 1 ? 0 : 1);
        emit clicked();
    }

  signals:
    void changed();
    void clicked();

  private:
    QString caption_;
    int value_ = 0;
};

}  // namespace kelvra
