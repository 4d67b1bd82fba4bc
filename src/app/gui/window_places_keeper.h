#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace tvq52 {

// Brings each of the program's windows (those named "Form...") back where
// and at the size it was last shown, kept on the screen and scrolling when
// it cannot fit there, and notes its place in the settings file whenever it
// is hidden. Watches the whole application
// once installed.
class WindowPlacesKeeper : public QObject {
    Q_OBJECT
public:
    explicit WindowPlacesKeeper(QString settingsFile, QObject* parent = nullptr);

    // Watches every window of the application from now on.
    void install();
    void restore(QWidget* window) const;
    void remember(const QWidget* window) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString settingsFile_;
};

} // namespace tvq52
