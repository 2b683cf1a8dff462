// Internals shared by the NLS environment, the loader and the file layer.
#ifndef QEN_KIT_NLS_LXLINT_H
#define QEN_KIT_NLS_LXLINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

// The recursive global NLS lock; nothing is done until slxmxinit ran.
void lxlglock(void);
void lxlgunlock(void);

// Byte-order and name fix-ups bounded by the object's size; false when an
// offset or count inside the object points outside it.
bool lxladjust(lxnlsobj *obj, size_t size);

// Boot index of the charset entry with the given id, or 0.
unsigned lxlcsbyid(const lxboot *boot, uint16_t id);

// Shortest object of each type 0 to 4.
size_t lxlobjmin(unsigned type);

// ---- NLS file layer -------------------------------------------------------

struct slxfh {
  int16_t rename;     // rename the temporary file over the target at close
  char *target;
  char *tmp;
  int fd;             // the file, or -1 for a virtual file
  void *vf;           // the virtual file when the virtual-file layer serves it
  uint8_t buf;        // one-byte read buffer
};

extern "C" {
slxfh *slxcfot(const char *dir, const char *name, const char *ext, const char *mode);
int slxcfct(slxfh *fh);
long slxcfrtlfv(void *buf, size_t size, size_t count, slxfh *fh);
long slxcfstlfv(slxfh *fh, long offset, int whence);
int slxcfgclfv(slxfh *fh);
int slxcfna(char *buf, size_t size, const char *dir, const char *name, const char *ext);
int slxldgnv(const char *var, char *buf, size_t size);
}

// Reads count bytes from the handle (virtual or real file); the number of
// bytes read, short only at the end of the file or on an error.
size_t slxcfread(slxfh *fh, void *buf, size_t count);

// Starts the virtual-file layer (mode 2); 0 or its error.
int slxlfvinit(void);

#endif
