// The backup-server agent: its start-up hook, monitor and attribute checks.
#ifndef QEN_SYBASEBK_H
#define QEN_SYBASEBK_H

extern "C" {

void QENAgStartup(void);
int process_monitor(const char* res_name, char** attrs, int* confidence);

// Trims all values but SApswd, then checks Backupserver, Owner, Version,
// Server and SA for blanks and tabs: 1 when none has one, else 0 with the
// first offender's name in name.
int Validate(char* Backupserver, char* Owner, char* Home, char* Version, char* Server, char* SA,
             char* SApswd, char* name);
// 1 with the name of the first empty value, else 0.
int IsNull(const char* Backupserver, const char* Owner, const char* Home, const char* Version,
           const char* Server, const char* SA, char* name);
}

#endif
