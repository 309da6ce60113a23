#pragma once

#include "support/OwnServer.h"

#include <QString>

namespace zarn::test {

// A MariaDB server of a test's own, started by the project's server script with a real
// server's durability, and an ODBC data source of its own beside the test's others. Its one
// process serves every connection.
class OwnMariadbServer : public OwnServer
{
public:
    // With tableNamesByCase, the server compares table names as they are written
    // (lower_case_table_names=0), where the shared test server compares them without regard
    // to case.
    explicit OwnMariadbServer(bool tableNamesByCase = false);

    const QString &dataSource() const { return m_dataSource; }

private:
    QString m_dataSource;
};

} // namespace zarn::test
