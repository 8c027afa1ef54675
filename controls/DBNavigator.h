#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "controls/DataSource.h"

namespace tavix {

// The ten buttons that move through, edit and save the records of a data
// source's dataset. Each is enabled only when its action can apply.
class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    enum class Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    Q_ENUM(Button)
    static constexpr int kButtonCount = 10;

    explicit TDBNavigator(QWidget* parent = nullptr);
    ~TDBNavigator() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const { return source_.data(); }

    QAbstractButton* button(Button which) const;

    // Runs the button's action as a click does (Delete asks first); errors
    // are thrown to the caller, where a click shows them.
    void btnClick(Button which);

    // Brings the buttons' enabled state up to date with the dataset.
    void updateButtons();

private:
    void attachDataSet();

    QList<QAbstractButton*> buttons_;
    QPointer<TDataSource> source_;
    QPointer<db::TableDataset> attached_;
};

}  // namespace tavix
