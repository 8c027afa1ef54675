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

}  // namespace tavix
