#pragma once

#include "ConfigFixtures.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// The real panel process on a loopback switcher, in its own folder and
// runtime folder, with remote control on (a known token, free ports, a short
// request timeout) and one preset. Driven through its test hook for Close.
class RemotePanel
{
public:
    static inline const QByteArray kToken = QByteArrayLiteral("test-token-0123456789abcdefghijkl");

    // Outputs Studio A (Tuner SW1, Player SW2) and Monitor (Cam 1 M1, Cam 2 M2).
    static QByteArray file(quint16 switcherPort)
    {
        return workedExampleFile()
            .replace("type=serial", "type=network")
            .replace("ipaddress=127.0.0.0", "ipaddress=127.0.0.1")
            .replace("port=3001", "port=" + QByteArray::number(switcherPort))
            .append("\r\n[input]\r\nname=Cam 1\r\ncommand=M1\r\n\r\n"
                    "[input]\r\nname=Cam 2\r\ncommand=M2\r\n");
    }

    explicit RemotePanel(quint16 switcherPort, bool remote = true)
        : httpPort(freePort()), oscPort(freePort())
    {
        writeFile(path(QStringLiteral("vantrel.ini")), file(switcherPort));
        writeFile(path(QStringLiteral("vantrel-presets.ini")),
                  "[preset]\r\nname=Show\r\n\r\n[row]\r\noutput=1\r\noutputname=Studio A\r\n"
                  "selected=0\r\ninputname=Tuner\r\n\r\n[row]\r\noutput=2\r\n"
                  "outputname=Monitor\r\nselected=0\r\ninputname=Cam 1\r\n");
        if (remote) {
            const QString settings = path(QStringLiteral("vantrel-remote.ini"));
            writeFile(settings, "listen=127.0.0.1:" + QByteArray::number(httpPort) +
                                    "\ntoken=" + kToken + "\nosc=" + QByteArray::number(oscPort) +
                                    "\nrequest-timeout-ms=500\n");
            QFile::setPermissions(settings, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), fRuntime.path());
        environment.insert(QStringLiteral("VANTREL_TEST_DRIVER"), QStringLiteral("1"));
        panel.setProcessEnvironment(environment);
        panel.setWorkingDirectory(fDir.path());
        panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start();
    }
    void start()
    {
        panel.start(QString::fromUtf8(VANTREL_PANEL));
        while (panel.waitForReadyRead(30000) && !panel.readAll().contains("ready"))
            ;
    }
    ~RemotePanel()
    {
        panel.kill();
        panel.waitForFinished(10000);
    }

    QString path(const QString &name) const { return fDir.filePath(name); }
    QString runtimeFolder() const { return fRuntime.path(); }

    // Closes the panel as its Close button does; true when it saved and ended.
    bool close()
    {
        panel.write("click btnClose\n");
        return panel.waitForFinished(30000) && panel.exitCode() == 0;
    }

    // vantrelctl in the panel's folder; its standard output, and standard
    // error in `err`.
    int ctl(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr)
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(fDir.path());
        program.start(QString::fromUtf8(VANTRELCTL), arguments);
        program.waitForFinished(30000);
        if (out)
            *out = program.readAllStandardOutput();
        if (err)
            *err = program.readAllStandardError();
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    }

    // Sends raw bytes and returns what came back until the panel closed the
    // connection: "" when it closed without an answer.
    QByteArray raw(const QByteArray &request, int pauseMs = 0)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, httpPort);
        if (!socket.waitForConnected(5000))
            return "not connected";
        socket.write(request);
        socket.waitForBytesWritten(5000);
        if (pauseMs > 0)
            QTest::qWait(pauseMs);
        QByteArray answer;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(5000))
            answer += socket.readAll();
        return answer + socket.readAll();
    }

    // One request with the token; the status line and body of the answer.
    QByteArray http(const QByteArray &method, const QByteArray &path, const QByteArray &body = {})
    {
        return raw(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                   QByteArray::number(httpPort) + "\r\nAuthorization: Bearer " + kToken +
                   "\r\nContent-Type: application/json\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess panel;
    quint16 httpPort;
    quint16 oscPort;

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    QTemporaryDir fDir;
    QTemporaryDir fRuntime;
};
