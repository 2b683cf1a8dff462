/* What a user would write instead of the probe: map the health file, look
 * at the ready flag and the Open state of the current record, and print. */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

enum { SIZE = 1552, FLAGS = 510, INDEX = 188, RECORDS = 512, RECORD = 104, OPEN = 9 };

int main(void) {
  const char *home = getenv("VIRUZE_HOME"), *sid = getenv("VIRUZE_SID");
  if (!home || !sid) return 1;
  char path[1024];
  snprintf(path, sizeof path, "%s/dbs/hc_%s.dat", home, sid);
  int fd = open(path, O_RDONLY);
  if (fd < 0) return 1;
  const uint8_t *m = mmap(NULL, SIZE, PROT_READ, MAP_SHARED, fd, 0);
  if (m == MAP_FAILED) return 1;
  uint16_t flags;
  memcpy(&flags, m + FLAGS, sizeof flags);
  unsigned index = m[INDEX];
  if (!(flags & 8) || index >= 10) return 1;
  if (m[RECORDS + RECORD * index + 2 + OPEN] == 2) {
    fputs("Instance is Online\n", stdout);
    return 110;
  }
  return 1;
}
