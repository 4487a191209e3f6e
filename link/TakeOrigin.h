#pragma once

#include <QString>

// Where a take came from. The log records it, and the panel shows a failure of
// a take that did not come from its own window without a blocking box: a panel
// driven from a tablet or a cue list often runs while nobody is at the PC.
struct TakeOrigin
{
    enum class Source
    {
        Mouse,   // the row's button pressed in the window
        Key,     // the row's hotkey
        TakeAll, // Take All in the window
        Preset,  // a preset recalled and taken
        Ctl,     // vantrelctl, through the panel's local socket or directly
        Http,    // the network API
        Osc      // OSC over UDP
    };

    Source source = Source::Mouse;
    // The requester's address and port for HTTP and OSC; empty otherwise.
    QString client;

    bool fromWindow() const
    {
        return source == Source::Mouse || source == Source::Key || source == Source::TakeAll ||
               source == Source::Preset;
    }
    // "mouse", "key", "take-all", "preset", "vantrelctl", "http", "osc": the
    // words the log and the remote API use.
    static QString name(Source source);
};
