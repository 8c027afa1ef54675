// Filter expressions compiled on their own, without a table.

#include <gtest/gtest.h>

#include "data/engine/EngineError.h"
#include "data/engine/FilterExpression.h"

using namespace tavix;
using db::detail::compileFilter;

namespace {

std::optional<db::FieldDef> lookup(const QString& name) {
    if (name.compare(QLatin1String("ID"), Qt::CaseInsensitive) != 0) return std::nullopt;
    db::FieldDef f;
    f.name = QStringLiteral("ID");
    f.type = db::FieldType::Integer;
    return f;
}

QString nested(int levels, const QString& open, const QString& close) {
    return open.repeated(levels) + QStringLiteral("ID = 1") + close.repeated(levels);
}

TEST(FilterExpressionTest, DeepNestingIsRefusedNotOverflowed) {
    // Up to the bound, nesting compiles as written.
    EXPECT_EQ(compileFilter(nested(100, "(", ")"), lookup).where,
              QString("(").repeated(100) + "\"ID\" = ?" + QString(")").repeated(100));
    EXPECT_NO_THROW(compileFilter(nested(100, "NOT ", ""), lookup));
    EXPECT_NO_THROW(compileFilter(nested(50, "NOT (", ")"), lookup));
    // A long flat chain is no nesting.
    EXPECT_NO_THROW(compileFilter("ID = 1" + QString(" OR ID = 2").repeated(500), lookup));

    const struct {
        const char* what;
        QString filter;
    } refused[] = {
        {"one parenthesis too many", nested(101, "(", ")")},
        {"one NOT too many", nested(101, "NOT ", "")},
        {"mixed", nested(51, "NOT (", ")")},
        {"40,000 parentheses", nested(40000, "(", ")")},
        {"200,000 NOT", nested(200000, "NOT ", "")},
        {"unclosed", QString("(").repeated(100000)},
    };
    for (const auto& c : refused) {
        try {
            compileFilter(c.filter, lookup);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const db::EngineError& e) {
            EXPECT_TRUE(e.message().startsWith("Filtre incorrect : plus de 100 niveaux"))
                << c.what << ": " << e.message().toStdString();
        }
    }
}

}  // namespace
