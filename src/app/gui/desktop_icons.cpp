#include "app/gui/desktop_icons.h"

#include "app/data_folder.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStyle>

namespace tvq52 {

QIcon applicationIcon(const QString& assetFolder)
{
    const QString assets = assetFolder.isEmpty() ? findAssetFolder() : assetFolder;
    QIcon files;
    if (!assets.isEmpty()) {
        const QDir hicolor(QDir(assets).filePath(QStringLiteral("../icons/hicolor")));
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString png = hicolor.filePath(QStringLiteral("%1x%1/apps/tvq52.png").arg(size));
            if (QFileInfo(png).isFile())
                files.addFile(png, QSize(size, size));
        }
    }
    return QIcon::fromTheme(QStringLiteral("tvq52"), files);
}

QIcon helpIcon()
{
    return QIcon::fromTheme(QStringLiteral("help-contents"),
                            QIcon::fromTheme(QStringLiteral("help-browser"),
                                             QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion)));
}

} // namespace tvq52
