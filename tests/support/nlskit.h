// The NLS test-installation kit: writing an installation that the NLS
// object writer built (tools/nls: nlsw's standard sets, languages and
// territories, nlsconv's conversion sets) into a temporary directory that is
// removed when the process ends, making it the process's installation, and
// opening handles over it. Every NLS test suite, fuzz target and benchmark
// stands its installation up through here, so that each says only which
// objects are special to it. Nothing here uses GoogleTest: the fuzz targets
// and benchmarks link it too (the tests' checking wrappers are in
// tests/kit/nls/lxh/nlstest.h).
#ifndef QEN_TEST_NLSKIT_H
#define QEN_TEST_NLSKIT_H

#include <string>

#include "lxh.h"
#include "nlsobjw.h"

namespace nlskit {

// Writes inst (its boot file lx1boot.nlb and every object file) into a new
// temporary directory that lives until the process ends; returns its path,
// or "" with err set when it cannot be written.
std::string write(const nlsw::Installation &inst, std::string &err);
std::string write(const nlsw::Installation &inst);

// "AMERICAN_AMERICA.<charset>": the American language and territory in a
// set, the handle most tests open.
std::string american(const std::string &charset);

// Makes dir the process's NLS installation (ZUR_NLS10 names it; no NLS
// profile and no NLS_LANG) and opens an environment record g over its
// object table, which it returns; null when the table cannot be loaded. For
// programs that keep one installation for their whole life (fuzz targets,
// benchmarks); a test runs in a child instead (nlstest::in_installation).
lxlobj *use(const std::string &dir, lxglo *g);

// The handle named name (LANGUAGE_TERRITORY.CHARSET) with its objects
// loaded; false when it is refused.
bool handle(const std::string &name, lxglo *g, lxlangid *h);

// Installs the linguistic sort named sort in h; false when the installation
// has no such sort or the handle refuses it.
bool set_sort(const std::string &sort, lxglo *g, lxlangid *h);

}  // namespace nlskit

#endif
