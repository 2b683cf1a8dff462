/* Attribute discovery for the configuration wizard.
 *
 * The wizard loads libAttrDiscovery.so and finds these three functions by
 * name. Every buffer they return comes from calloc, belongs to the caller and
 * goes back through QEN_FreeDiscoveryMem.
 */
#ifndef ATTRDISCOVERY_H
#define ATTRDISCOVERY_H

/* The discovery script that QEN_GetPossibleValues runs, and the environment
 * variable that names another one instead (found as execlp finds a program:
 * a name without a slash is looked for along PATH). */
#define QEN_ATTRSCAN_DEFAULT_SCRIPT "/opt/ZYLTagents/ha/bin/Viruze/attrscan.pl"
#define QEN_ATTRSCAN_SCRIPT_ENV "QEN_ATTRSCAN_SCRIPT"

#ifdef __cplusplus
extern "C" {
#endif

/* The discoverable attributes, each followed by a line end, in a 256-byte
 * zeroed buffer; *count becomes 6. */
char *QEN_GetDiscoverableAttributes(int *count);

/* Runs the discovery script for one attribute (a listed one, or any name
 * beginning with "Listeners") and returns its output lines as a tagged
 * document; *count becomes the number of values. Returns an empty text when
 * the script printed nothing or could not be run, and NULL when the attribute
 * is not accepted. */
char *QEN_GetPossibleValues(int *count, const char *attribute);

/* Frees a buffer returned by either function above. */
void QEN_FreeDiscoveryMem(void *buffer);

#ifdef __cplusplus
}
#endif

#endif
