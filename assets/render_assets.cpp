// Renders the pictures that Tallyforge embeds: the banner shown at the top of the
// main window (banner.jpg) and the window icon (icon.png, icon.ico).
//
//   render_assets <output folder>
//
// The output is the same on every run for the same installed fonts; the icon does
// not depend on fonts at all, its letters are drawn from bitmaps kept below.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

// ---------------------------------------------------------------------------
// Banner

constexpr int kBannerWidth = 379;
constexpr int kBannerHeight = 50;

// First family of the list that the font database knows, or the last entry so
// that Qt's own substitution has a say.
QString pickFamily(const QStringList& wanted) {
    // Where two foundries ship a family, the database lists it as "Name [foundry]".
    QStringList known;
    for (const QString& entry : QFontDatabase::families()) {
        known.append(entry.section(QStringLiteral(" ["), 0, 0));
    }
    for (const QString& family : wanted) {
        if (known.contains(family, Qt::CaseInsensitive)) {
            return family;
        }
    }
    return wanted.back();
}

QPainterPath textPath(const QFont& font, const QString& text) {
    QPainterPath path;
    path.addText(0, 0, font, text);
    return path;
}

// Scales the font down until the text fits the given width.
QFont fitFont(QFont font, const QString& text, qreal maxWidth) {
    while (font.pixelSize() > 6 && textPath(font, text).boundingRect().width() > maxWidth) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    return font;
}

// Fills `path` as brushed steel with a bevelled rim: the rim along the upper and
// left edges catches the light, the rim along the lower and right edges lies in
// shade.
void paintSteel(QPainter& p, const QPainterPath& path) {
    const QRectF box = path.boundingRect();

    // A faint dark halo keeps the letters apart from the black ground.
    p.setPen(QPen(QColor(18, 32, 56), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);

    QLinearGradient face(box.topLeft(), box.bottomLeft());
    face.setColorAt(0.00, QColor(226, 236, 248));
    face.setColorAt(0.30, QColor(150, 176, 208));
    face.setColorAt(0.50, QColor(70, 102, 146));
    face.setColorAt(0.53, QColor(46, 74, 116));
    face.setColorAt(0.75, QColor(104, 136, 178));
    face.setColorAt(1.00, QColor(184, 204, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawPath(path);

    // The rims are the parts of the letter that a shifted copy of it no longer
    // covers. The wide, soft band goes down first, the narrow, strong one on top.
    struct Rim {
        qreal shift;
        QColor light;
        QColor dark;
    };
    const std::array<Rim, 2> rims{{
        {2.0, QColor(200, 220, 245, 150), QColor(10, 22, 44, 170)},
        {1.0, QColor(245, 250, 255, 230), QColor(6, 12, 28, 235)},
    }};
    for (const Rim& rim : rims) {
        p.setBrush(rim.light);
        p.drawPath(path.subtracted(path.translated(rim.shift, rim.shift)));
        p.setBrush(rim.dark);
        p.drawPath(path.subtracted(path.translated(-rim.shift, -rim.shift)));
    }
}

QImage renderBanner() {
    QImage image(kBannerWidth, kBannerHeight, QImage::Format_RGB32);
    image.fill(Qt::black);

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Product name: large bold serif, left.
    const QString title = QStringLiteral("Tallyforge");
    QFont titleFont(pickFamily({QStringLiteral("Liberation Serif"), QStringLiteral("Nimbus Roman"),
                                QStringLiteral("DejaVu Serif"), QStringLiteral("serif")}));
    titleFont.setPixelSize(44);
    titleFont.setBold(true);
    titleFont.setStyleStrategy(QFont::PreferOutline);
    titleFont = fitFont(titleFont, title, 232);

    QPainterPath titleShape = textPath(titleFont, title);
    const QRectF titleBox = titleShape.boundingRect();
    // Centre the letters, descenders included, in the height of the picture and
    // start them a few pixels in from the left. The path's origin is its baseline.
    const qreal baseline = (kBannerHeight - titleBox.height()) / 2 - titleBox.top();
    titleShape.translate(6 - titleBox.left(), baseline);
    paintSteel(p, titleShape);

    // Byline: small handwritten-looking italic in yellow-orange, right, on the
    // same baseline as the title.
    const QString byline = QStringLiteral("by the Tallyforge authors");
    QFont bylineFont(pickFamily({QStringLiteral("Z003"), QStringLiteral("URW Chancery L"),
                                 QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif"),
                                 QStringLiteral("serif")}));
    bylineFont.setPixelSize(18);
    bylineFont.setItalic(true);
    bylineFont.setStyleStrategy(QFont::PreferOutline);
    const qreal bylineRoom = kBannerWidth - (6 + titleShape.boundingRect().width()) - 16;
    bylineFont = fitFont(bylineFont, byline, bylineRoom);

    QPainterPath bylineShape = textPath(bylineFont, byline);
    const QRectF bylineBox = bylineShape.boundingRect();
    bylineShape.translate(kBannerWidth - 5 - bylineBox.right(), baseline - 2);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 40, 0));
    p.drawPath(bylineShape.translated(1, 1));
    QLinearGradient ink(bylineShape.boundingRect().topLeft(),
                        bylineShape.boundingRect().bottomLeft());
    ink.setColorAt(0.0, QColor(255, 222, 70));
    ink.setColorAt(1.0, QColor(255, 150, 20));
    p.setBrush(ink);
    p.drawPath(bylineShape);

    p.end();
    return image;
}

// ---------------------------------------------------------------------------
// Icon

constexpr int kIconSize = 32;

// The sixteen colours of the classic Windows palette.
constexpr std::array<QRgb, 16> kPalette{
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};
constexpr int kBlack = 0;
constexpr int kBlue = 12;
constexpr int kCyan = 14;

constexpr int kGlyphWidth = 4;
constexpr int kGlyphHeight = 7;

struct Glyph {
    char letter;
    std::array<std::string_view, kGlyphHeight> rows;
};

// Pixel letters, four wide and seven high; '#' is a lit pixel.
constexpr std::array<Glyph, 9> kGlyphs{{
    {'T', {"####", ".##.", ".##.", ".##.", ".##.", ".##.", ".##."}},
    {'A', {".##.", "#..#", "#..#", "####", "#..#", "#..#", "#..#"}},
    {'L', {"#...", "#...", "#...", "#...", "#...", "#...", "####"}},
    {'Y', {"#..#", "#..#", "#..#", ".##.", ".##.", ".##.", ".##."}},
    {'F', {"####", "#...", "#...", "###.", "#...", "#...", "#..."}},
    {'O', {".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##."}},
    {'R', {"###.", "#..#", "#..#", "###.", "#.#.", "#..#", "#..#"}},
    {'G', {".##.", "#..#", "#...", "#.##", "#..#", "#..#", ".###"}},
    {'E', {"####", "#...", "#...", "###.", "#...", "#...", "####"}},
}};

const Glyph* findGlyph(char letter) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.letter == letter) {
            return &glyph;
        }
    }
    return nullptr;
}

// Draws one line of pixel letters in blue, the top-left corner of the first
// letter at (left, top), one blank column between letters.
void drawPixelText(QImage& image, std::string_view text, int left, int top) {
    constexpr int advance = kGlyphWidth + 1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = findGlyph(text[i]);
        if (glyph == nullptr) {
            continue;
        }
        const int glyphLeft = left + static_cast<int>(i) * advance;
        for (int y = 0; y < kGlyphHeight; ++y) {
            for (int x = 0; x < kGlyphWidth; ++x) {
                if (glyph->rows[y][x] == '#') {
                    image.setPixel(glyphLeft + x, top + y, kBlue);
                }
            }
        }
    }
}

QImage renderIcon() {
    QImage image(kIconSize, kIconSize, QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(kPalette.begin(), kPalette.end()));
    image.fill(kBlack);

    for (int i = 0; i < kIconSize; ++i) {
        image.setPixel(i, 0, kCyan);
        image.setPixel(i, kIconSize - 1, kCyan);
        image.setPixel(0, i, kCyan);
        image.setPixel(kIconSize - 1, i, kCyan);
    }

    constexpr int lineWidth = 5 * (kGlyphWidth + 1) - 1;
    constexpr int lineGap = 3;
    constexpr int blockHeight = 2 * kGlyphHeight + lineGap;
    constexpr int left = (kIconSize - lineWidth) / 2;
    constexpr int top = (kIconSize - blockHeight) / 2;
    drawPixelText(image, "TALLY", left, top);
    drawPixelText(image, "FORGE", left, top + kGlyphHeight + lineGap);
    return image;
}

void putLe16(QByteArray& out, int value) {
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>((value >> 8) & 0xff));
}

void putLe32(QByteArray& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.append(static_cast<char>((value >> shift) & 0xff));
    }
}

// Packs a 16-colour image as a Windows icon file with a single 4-bit image: the
// icon directory, one directory entry, then a bitmap info header, the palette,
// the colour rows bottom up and an all-clear transparency mask.
QByteArray icoFile(const QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const int colourRowBytes = ((width * 4 + 31) / 32) * 4;
    const int maskRowBytes = ((width + 31) / 32) * 4;
    constexpr int headerBytes = 40;
    constexpr int paletteBytes = 16 * 4;
    const int imageBytes = height * (colourRowBytes + maskRowBytes);
    const int resourceBytes = headerBytes + paletteBytes + imageBytes;
    constexpr int directoryBytes = 6 + 16;

    QByteArray out;
    // Icon directory: reserved, type 1 (icon), one image.
    putLe16(out, 0);
    putLe16(out, 1);
    putLe16(out, 1);
    // Directory entry.
    out.append(static_cast<char>(width));
    out.append(static_cast<char>(height));
    out.append(static_cast<char>(16)); // colours in the palette
    out.append('\0');
    putLe16(out, 1); // planes
    putLe16(out, 4); // bits per pixel
    putLe32(out, static_cast<std::uint32_t>(resourceBytes));
    putLe32(out, directoryBytes);
    // Bitmap info header; the height counts the colour rows and the mask rows.
    putLe32(out, headerBytes);
    putLe32(out, static_cast<std::uint32_t>(width));
    putLe32(out, static_cast<std::uint32_t>(2 * height));
    putLe16(out, 1);
    putLe16(out, 4);
    putLe32(out, 0); // no compression
    putLe32(out, static_cast<std::uint32_t>(imageBytes));
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, 16);
    putLe32(out, 0);
    // Palette as blue, green, red, reserved.
    for (int i = 0; i < 16; ++i) {
        const QRgb rgb = i < image.colorCount() ? image.color(i) : 0;
        out.append(static_cast<char>(qBlue(rgb)));
        out.append(static_cast<char>(qGreen(rgb)));
        out.append(static_cast<char>(qRed(rgb)));
        out.append('\0');
    }
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row(colourRowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            const int index = image.pixelIndex(x, y) & 0x0f;
            row[x / 2] = static_cast<char>(row[x / 2] | (x % 2 == 0 ? index << 4 : index));
        }
        out.append(row);
    }
    out.append(QByteArray(height * maskRowBytes, '\0'));
    return out;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: render_assets <output folder>\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "render_assets: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }

    bool ok = true;
    const auto report = [&ok](bool written, const QString& path) {
        if (!written) {
            std::fprintf(stderr, "render_assets: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    };

    const QString bannerPath = out.filePath(QStringLiteral("banner.jpg"));
    report(renderBanner().save(bannerPath, "JPG", 92), bannerPath);

    const QImage icon = renderIcon();
    const QString pngPath = out.filePath(QStringLiteral("icon.png"));
    report(icon.save(pngPath, "PNG"), pngPath);
    const QString icoPath = out.filePath(QStringLiteral("icon.ico"));
    report(writeFile(icoPath, icoFile(icon)), icoPath);

    return ok ? 0 : 1;
}
