// Decoding pictures of codes with zxing-cpp in a child process (linnet-zxing-decode), and
// rasterising PDF pages with poppler's pdftoppm, for tests that check what is drawn against a
// decoder no one here wrote.
#pragma once

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

// Every symbol zxing finds in the images; `ok` false when the decoder did not finish cleanly.
inline std::vector<DecodedSymbol> decodeImages(const QString& decoder, const QStringList& images,
                                               bool* ok) {
    QProcess process;
    process.start(decoder, images);
    *ok = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    std::vector<DecodedSymbol> found;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 4)
            found.push_back({QString::fromLocal8Bit(fields[0]), QString::fromLatin1(fields[1]),
                             QString::fromLatin1(fields[2]), QByteArray::fromHex(fields[3])});
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
