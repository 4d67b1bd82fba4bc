#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace tvq52 {

// One program per data folder: the first start claims the folder and
// listens; a later start on the same folder hands its argument (a file
// opened from the file manager, a serial number, or nothing: just show the
// window) to the running one and ends. Two data folders run two programs.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's name: per user and per data folder (its real path).
    static QString serverName(const QString& dataFolder);

    // True when no other program holds the folder: this one does from now
    // on, listening for later starts. The claim of a program that was killed
    // is taken over, its socket with it.
    bool claim();

    // Gives `argument` to the program that holds the folder and waits until
    // it has taken it; false when none answered within `timeoutMs`.
    bool handOver(const QString& argument, int timeoutMs = 5000) const;

    // Why the last claim or hand-over failed.
    QString errorString() const { return error_; }

signals:
    // A later start's argument (empty: it only asked to be shown).
    void received(const QString& argument);

private:
    void takeConnection();

    QString name_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
    mutable QString error_;
};

} // namespace tvq52
