// Helper functions compiled into every agent program: attribute-vector
// lookup, the debug texts of failed lookups, first-word extraction, newline
// chomping, and cleanup routines for thread-cancellation handlers.
//
// An attribute vector (AttrArgList) is a NULL-terminated array of groups:
// attribute name, number of values as decimal text, then the values.
// Values are numbered from 1. An index hint (-1: none) lets repeated lookups
// of one cycle skip the scan.
#ifndef QEN_QENAGHELPER_H
#define QEN_QENAGHELPER_H

// Results of the lookups (HelperErrorId).
enum {
    QENAG_OK = 0,
    QENAG_ERR_NULL_NAME = 1,      // attribute name is NULL
    QENAG_ERR_NULL_VECTOR = 2,    // vector is NULL
    QENAG_ERR_NOT_FOUND = 3,      // name not in the vector
    QENAG_ERR_BAD_VECTOR = 4,     // vector ends inside a group
    QENAG_ERR_BAD_INDEX = 5,      // element number above the count
    QENAG_ERR_NOT_A_NUMBER = 6,   // count is not a number
    QENAG_ERR_NULL_VALUE_OUT = 7, // value out-pointer is NULL
};

// Finds the group of name; on success index holds its position.
int qenag_get_attr_index(char** attrs, const char* name, int& index);
// The value numbered element of name (element < 1: the count text). *value
// points into the vector.
int qenag_get_attr_value(char** attrs, const char* name, char** value, int& index, int element);
// The count text of name.
int qenag_get_attr_value(char** attrs, const char* name, char** value);
// atoi of the value numbered element; number is written only on success.
int qenag_get_attr_value(char** attrs, const char* name, int& number, int& index, int element);
// The count of name.
int qenag_get_attr_value(char** attrs, const char* name, int& number);

extern "C" {

// Logs the fixed text of id to the debug log (level 0) and returns id;
// nothing is logged for 0.
int qenag_print_error(int id, const char* name, char* count, int element);

// Cuts text in place after its first word (blanks and tabs separate words);
// *first receives that word or NULL. -1 no word, 0 one word, 1 more.
int qenag_squeeze_spaces(char* text, char** first);

// Cuts one trailing newline; 1 when it did, else 0.
int str_chomp(char* text);

// Cleanup routines for pthread_cleanup_push; each ignores NULL.
void CloseDir(void* dir);    // a DIR* from opendir
void DelArgList(void* list); // a char** allocated with new char*[n] (released with delete[])
#ifndef QENAG_NO_DELPWD
void DelPwd(void* buf);      // a char* allocated with new char[n] (released with delete[])
#endif
}

#endif
