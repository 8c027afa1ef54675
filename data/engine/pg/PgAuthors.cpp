#include "data/engine/pg/PgAuthors.h"

#include "data/engine/SqlTokens.h"
#include "data/engine/pg/PgSession.h"
#include "platform/Regional.h"

namespace tavix::db::pg {

namespace {

const QString kWriter = QStringLiteral("tavix_ecrit_par");

QString momentText(const QString& epoch) {
    bool ok = false;
    const double seconds = epoch.toDouble(&ok);
    if (!ok) return {};
    const QDateTime local =
        QDateTime::fromSecsSinceEpoch(static_cast<qint64>(seconds)).toLocalTime();
    return regional::dateTimeToText(DateTime(local.date(), local.time()));
}

}  // namespace

bool hasAuthors(const Table& table) {
    for (const Column& c : table.hidden)
        if (c.name == kWriter) return true;
    return false;
}

void addAuthors(Session& s) {
    const Result r = s.exec(
        "SELECT 1 FROM pg_attribute WHERE attrelid = 'activites'::regclass AND attname = "
        "'tavix_ecrit_par' AND NOT attisdropped",
        {}, QStringLiteral("auteurs"));
    if (r.rows() > 0) return;
    s.command(
        "ALTER TABLE activites ADD COLUMN tavix_ecrit_par text, ADD COLUMN tavix_ecrit_le "
        "timestamptz, ADD COLUMN tavix_modifie_par text, ADD COLUMN tavix_modifie_le timestamptz");
    // The same function and trigger as tavix-serveur.sql makes.
    s.command(R"(CREATE OR REPLACE FUNCTION tavix_auteurs() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        NEW.tavix_ecrit_par := current_user;
        NEW.tavix_ecrit_le := now();
        NEW.tavix_modifie_par := NULL;
        NEW.tavix_modifie_le := NULL;
    ELSE
        NEW.tavix_ecrit_par := OLD.tavix_ecrit_par;
        NEW.tavix_ecrit_le := OLD.tavix_ecrit_le;
        NEW.tavix_modifie_par := current_user;
        NEW.tavix_modifie_le := now();
    END IF;
    RETURN NEW;
END
$$)");
    s.command(
        "CREATE TRIGGER tavix_auteurs BEFORE INSERT OR UPDATE ON activites FOR EACH ROW "
        "EXECUTE FUNCTION tavix_auteurs()");
    s.invalidate();
}

QString authorsNote(Session& s, const Table& table, qint64 key) {
    if (!hasAuthors(table)) return {};
    const QString sql =
        QStringLiteral(
            "SELECT tavix_ecrit_par, extract(epoch FROM tavix_ecrit_le), tavix_modifie_par, "
            "extract(epoch FROM tavix_modifie_le) FROM %1 WHERE %2 = $1")
            .arg(detail::quoteName(table.name), detail::quoteName(table.key));
    const Result r = s.exec(sql.toUtf8(), {QByteArray::number(key)}, sql);
    if (r.rows() == 0) return {};
    QStringList lines;
    if (!r.isNull(0, 0))
        lines << QStringLiteral("Écrite par « %1 » le %2")
                     .arg(r.text(0, 0), momentText(r.text(0, 1)));
    if (!r.isNull(0, 2))
        lines << QStringLiteral("Modifiée par « %1 » le %2")
                     .arg(r.text(0, 2), momentText(r.text(0, 3)));
    return lines.join(u'\n');
}

QString writerOf(Session& s, const Table& table, qint64 key) {
    if (!hasAuthors(table)) return {};
    const QString sql = QStringLiteral("SELECT tavix_ecrit_par FROM %1 WHERE %2 = $1")
                            .arg(detail::quoteName(table.name), detail::quoteName(table.key));
    const Result r = s.exec(sql.toUtf8(), {QByteArray::number(key)}, sql);
    return r.rows() == 0 || r.isNull(0, 0) ? QString() : r.text(0, 0);
}

}  // namespace tavix::db::pg
