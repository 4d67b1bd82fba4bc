#include "app/gui/file_dialogs.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMimeDatabase>
#include <QPointer>

namespace tvq52 {

namespace {

class NameOnlyIconProvider final : public QFileIconProvider {
public:
    using QFileIconProvider::icon;

    QIcon icon(const QFileInfo& info) const override
    {
        // The desktop's own file icons may be looked up by content too.
        if (!info.isFile())
            return QFileIconProvider::icon(info.isDir() ? Folder : File);
        const QMimeType mime = byName(info);
        return QIcon::fromTheme(mime.iconName(),
                                QIcon::fromTheme(mime.genericIconName(), QFileIconProvider::icon(File)));
    }

    QString type(const QFileInfo& info) const override
    {
        // Folders, drives and links are told apart by their status alone.
        if (!info.isFile())
            return QFileIconProvider::type(info);
        const QMimeType mime = byName(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType byName(const QFileInfo& info) const
    {
        return types_.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    }

    QMimeDatabase types_;
};

class FileListGuard final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Shown before the modal loop delivers the first listing.
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow())
                listFilesByNameOnly(widget);
        }
        return false;
    }
};

} // namespace

QAbstractFileIconProvider* nameOnlyIconProvider()
{
    static NameOnlyIconProvider provider;
    return &provider;
}

void listFilesByNameOnly(QWidget* window)
{
    QAbstractFileIconProvider* provider = nameOnlyIconProvider();
    if (auto* dialog = qobject_cast<QFileDialog*>(window); dialog && dialog->iconProvider() != provider)
        dialog->setIconProvider(provider);
    const QList<QFileSystemModel*> models = window->findChildren<QFileSystemModel*>();
    for (QFileSystemModel* model : models)
        if (model->iconProvider() != provider)
            model->setIconProvider(provider);
}

void guardFileDialogs()
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    static QPointer<QObject> guard;
    if (!guard && qApp) {
        guard = new FileListGuard(qApp);
        qApp->installEventFilter(guard);
    }
}

} // namespace tvq52
