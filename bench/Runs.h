#pragma once

#include "bench/Fixture.h"
#include "bench/Measure.h"

namespace zarn::bench {

// The three ways the same readings reach a fresh facility, each timed on its own. Each checks
// that the store holds what it wrote and throws std::runtime_error where it does not.

// The data import itself, over every reading of the site, and then its verification, which reads
// every slot back from the same facility.
struct ImportMeasures
{
    Measure import;
    Measure verify;
};
ImportMeasures runImport(const Options &options, schema::StandInServer &server,
                         dal::Connection &source);
// The same rows written the fastest way the server takes them: COPY on PostgreSQL (whichever
// provider the import uses), LOAD DATA of a file on MariaDB, one transaction of prepared inserts
// on SQLite.
Measure runBulk(const Options &options, schema::StandInServer &server, dal::Connection &source);
// One procedure call and one commit per reading, as the original import ran, over the sample.
Measure runOriginal(const Options &options, schema::StandInServer &server, dal::Connection &source);

} // namespace zarn::bench
