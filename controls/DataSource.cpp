#include "controls/DataSource.h"

namespace tavix {

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

void TDataSource::setDataSet(db::TableDataset* dataSet) {
    if (dataSet_ == dataSet) return;
    dataSet_ = dataSet;
    emit dataSetChanged();
}

void TDataSource::addEditor(TDataEditor* editor) {
    if (!editors_.contains(editor)) editors_.append(editor);
}

void TDataSource::removeEditor(TDataEditor* editor) { editors_.removeAll(editor); }

void TDataSource::updateRecord() {
    const auto editors = editors_;  // an editor may go away meanwhile
    for (TDataEditor* editor : editors)
        if (editors_.contains(editor)) editor->updateRecord();
}

void TDataSource::discardEdits() {
    const auto editors = editors_;
    for (TDataEditor* editor : editors)
        if (editors_.contains(editor)) editor->discardEdit();
}

void TDataSource::postPending() {
    db::TableDataset* ds = dataSet_.data();
    if (!ds || !ds->active()) return;
    updateRecord();
    const auto state = ds->state();
    if (state != db::TableDataset::State::Edit && state != db::TableDataset::State::Insert) return;
    if (ds->modified())
        ds->post();
    else
        ds->cancel();
}

void TDataSource::focusEditor() {
    const auto editors = editors_;
    for (TDataEditor* editor : editors)
        if (editors_.contains(editor) && editor->takeFocus()) return;
}

}  // namespace tavix
