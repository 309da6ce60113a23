#include "platform/dal/postgresql/PgBatch.h"

#include "platform/dal/postgresql/PgBinary.h"

#include <QStringList>
#include <libpq-fe.h>

namespace zarn::dal::pg {

std::optional<BatchFunction> batchFunction(Session &session, const QString &name, int inputs)
{
    QStringList parts = name.split(u'.');
    if (parts.size() > 2)
        return std::nullopt;
    const QString function = parts.takeLast().trimmed().toLower();
    const QString schema = parts.isEmpty() ? QString() : parts.first().trimmed().toLower();
    const Result result = session.run(
        "SELECT quote_ident(n.nspname) || '.' || quote_ident(p.proname),"
        " (SELECT string_agg(a.elem::text || ' ' || t.typarray::text, ' ' ORDER BY a.pos)"
        "  FROM unnest(p.proargtypes::oid[]) WITH ORDINALITY AS a(elem, pos)"
        "  JOIN pg_type t ON t.oid = a.elem)"
        " FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
        " WHERE p.proname = $1 AND p.pronargs = $2::int AND p.prokind = 'f'"
        " AND NOT p.proretset AND CASE WHEN $3 = '' THEN pg_function_is_visible(p.oid)"
        " ELSE n.nspname = $3 END",
        {function.toUtf8(), QByteArray::number(inputs), schema.toUtf8()});
    if (PQntuples(result.get()) != 1)
        return std::nullopt;
    BatchFunction found;
    found.name = QString::fromUtf8(PQgetvalue(result.get(), 0, 0));
    const QList<QByteArray> types = QByteArray(PQgetvalue(result.get(), 0, 1)).split(' ');
    if (inputs == 0 || types.size() != 2 * inputs)
        return std::nullopt;
    for (int i = 0; i < inputs; ++i) {
        const Oid element = types[2 * i].toUInt();
        const Oid array = types[2 * i + 1].toUInt();
        if (!elementKind(element) || array == 0)
            return std::nullopt;
        found.elementTypes.push_back(element);
        found.arrayTypes.push_back(array);
    }
    return found;
}

QString batchText(const BatchFunction &function)
{
    QStringList arrays, columns, arguments;
    for (std::size_t i = 1; i <= function.elementTypes.size(); ++i) {
        arrays << u'$' + QString::number(i);
        columns << u'a' + QString::number(i);
        arguments << QStringLiteral("c.a") + QString::number(i);
    }
    return QStringLiteral("SELECT %1(%2) FROM unnest(%3) AS c(%4)")
        .arg(function.name, arguments.join(QStringLiteral(", ")), arrays.join(QStringLiteral(", ")),
             columns.join(QStringLiteral(", ")));
}

} // namespace zarn::dal::pg
