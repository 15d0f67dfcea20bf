#pragma once

#include <QDialog>

class QLineEdit;

namespace kestrin {

// frmNamePics, "Scan Sample BC": a modal window in which a sample barcode can be scanned.
// Nothing typed there is stored or logged; closing it returns to the entry station.
class NamePicturesWindow : public QDialog {
    Q_OBJECT
public:
    explicit NamePicturesWindow(QWidget* parent = nullptr);

    QLineEdit* sampleIdBox() const { return m_sampleId; }

private:
    QLineEdit* m_sampleId;
};

} // namespace kestrin
