#include "entrystation/NamePicturesWindow.h"

#include "FixedTexts.h"

#include <QLineEdit>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kestrin {

NamePicturesWindow::NamePicturesWindow(QWidget* parent)
    : QDialog(parent)
    , m_sampleId(new QLineEdit(this))
{
    setObjectName(u"frmNamePics"_s);
    setWindowTitle(entrytexts::kNamePicturesCaption.toString());
    setModal(true);
    m_sampleId->setObjectName(u"txtSampleID"_s);
    QFont large = m_sampleId->font();
    large.setPointSize(14);
    m_sampleId->setFont(large);
    m_sampleId->setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_sampleId);
    m_sampleId->setEnabled(true);
    m_sampleId->setFocus();
}

} // namespace kestrin
