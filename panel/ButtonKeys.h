#pragma once

#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <functional>

class QAbstractButton;
class QWidget;

// Keys that press buttons of one window, once per physical press however
// long the key is held. Under X a held key arrives as a release and a press
// with one timestamp, over and over; Qt marks such a press as a repeat only
// when it finds the press already queued as it reads the release, and it
// often is not. Here a press is a repeat when Qt says so or when it carries
// the timestamp of the same key's last release: nothing but the events
// already received decides.
class ButtonKeys : public QObject
{
    Q_OBJECT
public:
    // Watches the key events of `window` (and of its controls) while it exists.
    explicit ButtonKeys(QWidget *window);
    ~ButtonKeys() override;

    // The key, with exactly these modifiers (keypad or not), clicks the
    // button; a disabled button ignores it. `press`, when given, is run
    // instead of the click, for a window that wants to know the click came
    // from a key.
    using Press = std::function<void()>;
    void add(const QKeySequence &key, QAbstractButton *button, Press press = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *fWindow;
    struct Target
    {
        QAbstractButton *button = nullptr;
        Press press;
    };
    QHash<int, Target> fButtons;     // by QKeyCombination::toCombined()
    QHash<int, quint64> fReleasedAt; // by key code: the last release's timestamp
};
