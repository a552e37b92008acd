#include "widgets/Fonts.h"

namespace vocalyn {

void InstallFontSubstitutions() {
    static const bool installed = [] {
        QFont::insertSubstitution(QStringLiteral("Trebuchet MS"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                                  QStringLiteral("Liberation Sans"));
        QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
        return true;
    }();
    (void)installed;
}

static QFont MakeFont(const char* family, int pixelSize, bool bold) {
    InstallFontSubstitutions();
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont TrebuchetFont(int pixelSize, bool bold) {
    return MakeFont("Trebuchet MS", pixelSize, bold);
}

QFont SansSerifFont(int pixelSize, bool bold) {
    return MakeFont("MS Sans Serif", pixelSize, bold);
}

} // namespace vocalyn
