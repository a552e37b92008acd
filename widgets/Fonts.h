#pragma once

#include <QFont>

namespace vocalyn {

// The windows name the classic desktop faces; these map them to the free
// faces every Debian desktop has (Liberation Sans, DejaVu Sans).
void InstallFontSubstitutions();

QFont TrebuchetFont(int pixelSize, bool bold);
QFont SansSerifFont(int pixelSize, bool bold);

} // namespace vocalyn
