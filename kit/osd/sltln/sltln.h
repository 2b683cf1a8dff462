// Logical name translation and path search of the OS-dependent layer.
//
// sltln expands a logical file name: "?" stands for the Viruze home
// (VIRUZE_HOME), "@" for the instance name (VIRUZE_SID), $NAME and ${NAME} for
// any environment variable, and a backslash takes the next character
// literally. A bare $NAME ends at the first character that is not a letter,
// digit or "_"; that character ("?", "@", "$", "\" and "}" included) then
// keeps its own meaning. A relative result is then looked up in the directories of
// VIRUZE_PATH (read once per process into the client library's slorpath and
// slphinit). slgfn composes directory, name and extension into one path.
//
// Records: sl_status (los.h): code 0 = success, otherwise one of the codes
// below; sltln and slgfn clear the whole record on entry, the path search
// only the code.
//
// Who may call: any code of the kit. The first path search sets up the
// process-wide VIRUZE_PATH copy without a lock: a threaded caller makes its
// first call before its threads start.
#ifndef QEN_KIT_OSD_SLTLN_H
#define QEN_KIT_OSD_SLTLN_H

#include <stddef.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLTLN_ERR_BADARG 7202    // NULL or empty argument, or a NUL before the last character
#define SLTLN_ERR_FULL 7204      // output full before the source was used up (detail 0: dstlen)
#define SLTLN_ERR_VAR 7217       // variable unset or empty, or its value does not fit
#define SLPATH_ERR_COMPOSE 7411  // a directory and a name do not fit the composition buffer
#define SLPATH_ERR_NOMEM 7415    // no memory for the copy of the search list
#define SLPATH_ERR_FOUNDLONG 7416 // the found path does not fit (details: dstlen, its length)

#define SLPATH_CANDIDATE 512     // bytes of the buffer a search candidate is composed in

// Translates srclen characters of src into dst, which holds dstlen characters
// and a terminator, then searches VIRUZE_PATH for a relative result. Sets
// *outlen to the result's length; 0 on every failure.
void sltln(sl_status *st, const char *src, size_t srclen, char *dst, size_t dstlen,
           size_t *outlen);

// The search over the cached list of the variable varname (read on the first
// call in the process). name (at most dstlen characters with its terminator)
// is replaced by the first existing candidate, whose length goes to *outlen;
// when none exists both stay as they were.
void sslpath(sl_status *st, const char *varname, char *name, size_t dstlen,
             size_t *outlen);

// The same search over the variable's value read anew at every call; an unset
// variable leaves everything unchanged with status 0.
void sslpath2(sl_status *st, const char *varname, char *name, size_t dstlen,
              size_t *outlen);

// dst := directory, "/" unless the directory is empty or ends in "/", name,
// and "." extension unless the extension is empty. When that and its
// terminator need more than dstlen bytes: 7411 and dst untouched. A NULL
// directory or extension counts as empty. reserved is not read.
void slgfn(sl_status *st, const char *directory, const char *name, const char *extension,
           const char *reserved, char *dst, size_t dstlen);

#ifdef __cplusplus
}
#endif

#endif
