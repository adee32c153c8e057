// Decoding pictures of codes with zxing-cpp in a child process (linnet-zxing-decode), and
// rasterising PDF pages with poppler's pdftoppm, for tests that check what is drawn against a
// decoder no one here wrote.
#pragma once

#include "test_codes/model/test_code.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <vector>

struct DecodedSymbol {
    QString image;
    QString format;
    QString identifier;
    QByteArray bytes;
};

// Every symbol zxing finds in the images, one process an image so that an abort on one (the
// packaged build's assertions) loses that image alone; `ok` false when any did not finish
// cleanly, and `failed` then names them.
inline std::vector<DecodedSymbol> decodeImages(const QString& decoder, const QStringList& images,
                                               bool* ok, QStringList* failed = nullptr) {
    std::vector<DecodedSymbol> found;
    *ok = true;
    for (const QString& image : images) {
        QProcess process;
        process.start(decoder, {image});
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            *ok = false;
            if (failed)
                *failed << image + QStringLiteral(": ") +
                               QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
            continue;
        }
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() == 4)
                found.push_back({QString::fromLocal8Bit(fields[0]), QString::fromLatin1(fields[1]),
                                 QString::fromLatin1(fields[2]), QByteArray::fromHex(fields[3])});
        }
    }
    return found;
}

// The pages of a PDF as PNG files in `folder`, at `dpi`; empty when pdftoppm failed.
inline QStringList rasterisePdf(const QString& pdf, const QString& folder, int dpi) {
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf,
                   QDir(folder).filePath(QStringLiteral("page"))});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return {};
    QStringList pages;
    for (const QString& name :
         QDir(folder).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name))
        pages << QDir(folder).filePath(name);
    return pages;
}

// What zxing's decoding of a code should give: its content, with two habits of the packaged
// zxing-cpp 1.4 allowed for: DataBar Omnidirectional comes as the GTIN without its "01", and
// DataBar Expanded as the bracketed text "(01)...(10)...".
inline QByteArray expectedFromZxing(const test_codes::TestCode& code) {
    using test_codes::Symbology;
    if (code.symbology == Symbology::DataBarOmni)
        return QByteArray::fromStdString(std::string(code.content.substr(2)));
    if (code.symbology == Symbology::DataBarExpanded)
        return QByteArray::fromStdString(std::string(code.input))
            .replace('[', '(')
            .replace(']', ')');
    return QByteArray::fromStdString(std::string(code.content));
}
