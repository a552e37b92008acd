#pragma once

#include <QByteArrayView>
#include <QString>

namespace vocalyn {

// Text that came from a peer or a file written elsewhere: UTF-8 when the bytes are valid UTF-8,
// otherwise Windows-1252, which is what older peers and their files use. What we write is UTF-8.
QString DecodeWireText(QByteArrayView bytes);

} // namespace vocalyn
