#include "hl7import/OrderMessage.h"

namespace kestrin {

namespace {

template <typename Rows> void clearRows(Rows& rows, int used)
{
    for (int row = 0; row <= used && row < int(rows.size()); ++row)
        rows[std::size_t(row)].fill(QString());
}

} // namespace

// Only the rows in use are emptied: the buffers hold thousands of fields, a message a few.
void ClearMessageBuffers(OrderMessage& m)
{
    for (OrderMessage::Fields* fields : {&m.MshFields, &m.PidFields, &m.Pv1Fields, &m.OrcFields})
        fields->fill(QString());
    clearRows(m.ObrFields, m.SegmentCounts.obr);
    clearRows(m.ObxFields, m.SegmentCounts.obx);
    clearRows(m.NteFields, m.SegmentCounts.nte);
    m.SegmentCounts = {};
    m.Delimiters = {};
    m.PatientSurname.clear();
    m.PatientForename.clear();
    m.CollectionDateText.clear();
    m.CollectionTimeText.clear();
    m.CollectionRemark.clear();
    m.SampleMaterial.clear();
    m.MaterialFlag = 0;
}

QString FieldValue(const OrderMessage& message, const QString& raw) { return UnescapeHl7(raw, message.Delimiters); }

} // namespace kestrin
