#pragma once

#include "voice/TCCNMediaTerm.h"

#include <QWidget>

namespace vocalyn::voice {

// The hidden window that hosts the media terminal component. Created once at
// start-up and never shown; it lives until the program ends, and so does the
// terminal once connected.
class TfrmCCN : public QWidget {
    Q_OBJECT

public:
    explicit TfrmCCN(TCCNMediaTerm::Factory factory, QWidget* parent = nullptr);

    TCCNMediaTerm* const ccn; // owned by this window
};

} // namespace vocalyn::voice
