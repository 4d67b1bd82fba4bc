#pragma once

// What a laid-out page holds; private to the engine.

#include <QColor>
#include <QImage>
#include <QLineF>
#include <QPicture>
#include <QRectF>
#include <QString>
#include <memory>
#include <vector>

namespace tvq52 {

struct ReportFont {
    QString family;
    double points = 8;
    bool bold = false;
    bool italic = false;
    bool operator==(const ReportFont& o) const
    {
        return family == o.family && points == o.points && bold == o.bold && italic == o.italic;
    }
};

struct DrawOp {
    enum Type { Text, Line, Box, Image, Picture };
    Type type = Text;
    QRectF rect; // millimetres
    QLineF line;
    QString text;
    int font = 0; // index into the report's fonts
    int flags = 0;
    double penWidth = 0.2;
    QColor fill;
    bool frame = false;
    bool pageNumber = false; // text holds %1 (page) and %2 (pages)
    std::shared_ptr<const QImage> image;
    std::shared_ptr<const QPicture> picture;
};

struct ReportPage {
    std::vector<DrawOp> ops;
};

} // namespace tvq52
