// The data-server agent: its start-up hook, monitor and attribute checks.
#ifndef QEN_SYBASE_H
#define QEN_SYBASE_H

extern "C" {

void QENAgStartup(void);
int process_monitor(const char* res_name, char** attrs, int* confidence);

// Trims all values but SApswd and UPword, then checks Server, Owner,
// Version, SA, User, Db and Table for blanks and tabs: 1 when none has one,
// else 0 with the first offender's name in name.
int Validate(char* Server, char* Owner, char* Home, char* Version, char* SA, char* SApswd,
             char* User, char* UPword, char* Db, char* Table, char* Monscript, char* name);
// 1 with the name of the first empty value, else 0.
int IsNull(const char* Server, const char* Owner, const char* Home, const char* Version,
           const char* SA, char* name);
int IsNullDetailMonitorAttributes(const char* Monscript, const char* User, const char* UPword,
                                  const char* Db, const char* Table, char* name);
}

#endif
