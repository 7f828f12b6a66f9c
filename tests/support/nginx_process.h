#pragma once

#include <QHash>
#include <QString>

#include <sys/types.h>

namespace clipmoor::test {

// One nginx run in the foreground as a child of the test process, with a configuration made
// from a template. The child is told to end when the thread that started it ends (so a crashed
// test leaves no nginx behind), and the destructor ends it.
class NginxProcess {
public:
    struct Ports {
        quint16 https = 0;
        quint16 http = 0;
        quint16 untrusted = 0;
    };

    NginxProcess(QString executable, QString workFolder);
    ~NginxProcess();
    NginxProcess(const NginxProcess&) = delete;
    NginxProcess& operator=(const NginxProcess&) = delete;

    // Fills the template's @NAME@ placeholders from `values` plus @WORK@ and the three
    // @..._PORT@s (free loopback ports), and starts nginx; tries other ports when one was taken
    // in the meantime. Ends the test process with nginx's own error log if nginx will not run.
    void start(const QString& templatePath, QHash<QString, QString> values);

    const Ports& ports() const { return ports_; }
    QString accessLogPath() const { return workFolder_ + "/access.log"; }

private:
    QString errorLogPath() const { return workFolder_ + "/error.log"; }
    // False when another process took one of the ports meanwhile.
    bool tryStart(const QString& configuration);
    QString errorLog() const;

    const QString executable_;
    const QString workFolder_;
    Ports ports_;
    pid_t pid_ = -1;
};

}  // namespace clipmoor::test
