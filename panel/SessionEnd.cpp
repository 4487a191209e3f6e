#include "SessionEnd.h"

#include "frmMain.h"

#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#ifdef VANTREL_HAVE_XCB
#include <QGuiApplication>
#include <vector>
#include <xcb/xcb.h>
#endif

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler's only way out: one byte, the signal's number, read by the event
// loop. Process-wide and never closed, so a late signal cannot write into a
// descriptor that has been reused.
int gPipe[2] = {-1, -1};
struct sigaction gPrevious[sizeof kSignals / sizeof kSignals[0]];
// The window the exit hook saves; null once it no longer needs saving.
frmMain *gWindow = nullptr;

extern "C" void onSignal(int number)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    // Non-blocking: a full pipe already holds a request.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = savedErrno;
}

bool makePipe()
{
    if (gPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) {
        gPipe[0] = gPipe[1] = -1;
        return false;
    }
    return true;
}

#ifdef VANTREL_HAVE_XCB
xcb_connection_t *displayConnection()
{
    const auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Both requests go out before either answer is awaited: one round trip to
// the display before the window shows, not two.
void internAtoms(xcb_connection_t *connection, std::initializer_list<const char *> names,
                 std::initializer_list<quint32 *> atoms)
{
    std::vector<xcb_intern_atom_cookie_t> cookies;
    for (const char *name : names)
        cookies.push_back(
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(qstrlen(name)), name));
    auto cookie = cookies.cbegin();
    for (quint32 *atom : atoms) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, *cookie++, nullptr);
        *atom = reply ? reply->atom : 0;
        std::free(reply);
    }
}
#endif

} // namespace

SessionEnd::SessionEnd(frmMain *window) : fWindow(window)
{
    gWindow = window;

    if (makePipe()) {
        fNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
        connect(fNotifier, &QSocketNotifier::activated, this, &SessionEnd::readSignals);
        for (size_t i = 0; i < std::size(kSignals); ++i) {
            struct sigaction action = {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            ::sigaction(kSignals[i], &action, &gPrevious[i]);
            // Started with the signal ignored (nohup, a background job): it
            // stays ignored, as the one who started the panel asked.
            if (gPrevious[i].sa_handler == SIG_IGN)
                ::sigaction(kSignals[i], &gPrevious[i], nullptr);
        }
    }

#if QT_CONFIG(sessionmanager)
    connect(
        qApp, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager &) { fWindow->Form_EndSession(); }, Qt::DirectConnection);
#endif

#ifdef VANTREL_HAVE_XCB
    if (xcb_connection_t *connection = displayConnection()) {
        internAtoms(connection, {"WM_PROTOCOLS", "WM_DELETE_WINDOW"},
                    {&fProtocolsAtom, &fDeleteAtom});
    }
#endif
    qApp->installNativeEventFilter(this);

    // Qt ends the process with exit() when the display connection breaks, at
    // log-off for instance; no window event runs then.
    static bool hookInstalled = false;
    if (!hookInstalled) {
        hookInstalled = true;
        std::atexit(&SessionEnd::saveAtExit);
    }
}

SessionEnd::~SessionEnd()
{
    gWindow = nullptr;
    qApp->removeNativeEventFilter(this);
    if (fNotifier) {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &gPrevious[i], nullptr);
    }
}

void SessionEnd::readSignals()
{
    char bytes[16];
    ssize_t n = 0;
    int number = 0;
    while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0)
        number = bytes[0];
    if (number == 0)
        return;
    // The log says which signal ended the panel.
    const char *name = number == SIGTERM ? "TERM" : number == SIGHUP ? "HUP" : "INT";
    fWindow->Form_EndSession(QStringLiteral("signal ") + QLatin1String(name));
}

void SessionEnd::saveAtExit()
{
    if (gWindow)
        gWindow->saveAtExit();
}

bool SessionEnd::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
#ifdef VANTREL_HAVE_XCB
    // Qt drops a close request for a window that a modal dialog blocks (a
    // message box, the preset's name box); the panel carries it out once the
    // dialog has been answered.
    if (eventType != "xcb_generic_event_t" || !QApplication::activeModalWidget())
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
        return false;
    const auto *client = static_cast<const xcb_client_message_event_t *>(message);
    if (client->format == 32 && client->window == fWindow->winId() && fDeleteAtom != 0 &&
        client->type == fProtocolsAtom && client->data.data32[0] == fDeleteAtom)
        fWindow->Form_CloseWhenAnswered();
#else
    Q_UNUSED(eventType)
    Q_UNUSED(message)
#endif
    return false;
}
