#include "voice/TfrmCCN.h"

namespace vocalyn::voice {

TfrmCCN::TfrmCCN(TCCNMediaTerm::Factory factory, QWidget* parent)
    : QWidget(parent), ccn(new TCCNMediaTerm(std::move(factory), this)) {
    setObjectName(QStringLiteral("frmCCN"));
    setWindowTitle(QStringLiteral("CCN"));
    ccn->setObjectName(QStringLiteral("ccn"));
}

} // namespace vocalyn::voice
