// The Viruze listener agent: the monitor entry point, the listener process
// finder and the detail monitor.
//
// The agent program registers netlsnr_monitor as its monitor (entry point 5)
// and logs under category 20002. Each cycle reads the resource's attributes,
// settles its zone and the owner's uid, finds "<Home>/bin/vuzlsnr <Listener>"
// owned by that uid (and in the resource's zone when it has one), and when a
// MonScript is configured runs it and maps its exit code.
#ifndef QEN_NETLSNR_H
#define QEN_NETLSNR_H

#ifdef __cplusplus
extern "C" {
#endif

// Monitor results besides offline (0), online (1) and unknown (2).
#define NETLSNR_NO_PROCESS 5 // no listener process found

// Attribute values of one cycle after normalisation: first words; the
// optional ones empty when absent; Listener "LISTENER" when absent;
// AgentDebug and Encoding whole, NULL when absent.
typedef struct LsnrAttrs {
    const char* owner;
    const char* home;
    const char* tns_admin;
    const char* listener;
    const char* mon_script;
    const char* env_file;
    const char* lsnr_pwd;
    const char* agent_debug;
    const char* encoding;
} LsnrAttrs;

// Registers the monitor and the log category.
void QENAgStartup(void);

// The monitor entry point: 0 offline, 1 online, 2 unknown, 5 no listener
// process; the confidence (0..100) is written through the third argument.
int netlsnr_monitor(const char* res_name, char** attrs, int* confidence);

// Finds the listener process of a resource, first through the process
// remembered in the resource's cookie, then by a scan of /proc. 1 found (the
// cookie names it), 5 not found, 2 error. container is the result of
// QENAgIsContainerCapable (only 1 means a container).
int FindLsnrProc(const char* res_name, const char* home, const char* listener, int owner_uid,
                 int container);

// 1 when the command line runs prog_path with the listener name (ignoring
// case) as its next word, else 0.
int CompareLsnrProc(const char* cmdline, const char* prog_path, const char* listener);

// Runs the MonScript of a resource whose listener runs and maps its exit code;
// called with the confidence at 50. Returns 0, 1 or 2 and sets the confidence.
int LsnrDetailMonitor(const char* res_name, const LsnrAttrs* attrs, int* confidence);

#ifdef __cplusplus
}
#endif

#endif
