// Attribute-vector lookup, lookup error texts, first word, chomp and the
// cleanup routines of the agents.
#include "QENAgHelper.h"

#include <dirent.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dead_stack.h"
#include "nocancel.h"
#include "qenagfw.h"

namespace {

constexpr const char* kFile = "QENAgHelper.h";
constexpr const char* kTag = "qenag_print_error";
constexpr const char* kSeparators = " \t";

} // namespace

extern "C" int qenag_print_error(int id, const char* name, char* count, int element)
{
    if (id == QENAG_OK)
        return id;
    char text[1024];
    const char* n = name ? name : "(null)";
    const char* c = count ? count : "(null)";
    switch (id) {
    case QENAG_ERR_NULL_NAME:
        snprintf(text, sizeof text, "Attribute argument is pointing to NULL.");
        break;
    case QENAG_ERR_NULL_VECTOR:
        snprintf(text, sizeof text, "Attribute:%s:Argument list is pointing to NULL.", n);
        break;
    case QENAG_ERR_NOT_FOUND:
        snprintf(text, sizeof text, "Attribute %s not found in the argument list.", n);
        break;
    case QENAG_ERR_BAD_VECTOR:
        snprintf(text, sizeof text, "Attribute:%s:Argument list is not valid.", n);
        break;
    case QENAG_ERR_BAD_INDEX:
        snprintf(text, sizeof text,
                 "Attribute:%s:Index %d is not valid. Total number of elements is %s.", n,
                 element, c);
        break;
    case QENAG_ERR_NOT_A_NUMBER:
        snprintf(text, sizeof text, "Attribute:%s:Number of elements %s is not a number.", n, c);
        break;
    case QENAG_ERR_NULL_VALUE_OUT:
        snprintf(text, sizeof text, "Value argument is pointing to NULL.");
        break;
    default:
        snprintf(text, sizeof text, "Unknown error id:%d.", id);
        break;
    }
    // The text is the message itself: names and counts may hold '%'.
    QENAgLogDbgMsg1(0, kTag, kFile, __LINE__, 0, "%s", text);
    return id;
}

int qenag_get_attr_index(char** attrs, const char* name, int& index)
{
    if (name == nullptr)
        return qenag_print_error(QENAG_ERR_NULL_NAME, nullptr, nullptr, -1);
    if (attrs == nullptr)
        return qenag_print_error(QENAG_ERR_NULL_VECTOR, name, nullptr, -1);
    // The hint is a position an earlier lookup in this vector gave out.
    if (index >= 0 && attrs[index] != nullptr && strcmp(attrs[index], name) == 0)
        return QENAG_OK;
    int pos = 0;
    for (;;) {
        if (attrs[pos] == nullptr)
            return qenag_print_error(QENAG_ERR_NOT_FOUND, name, nullptr, -1);
        if (strcmp(attrs[pos], name) == 0) {
            index = pos;
            return QENAG_OK;
        }
        if (attrs[pos + 1] == nullptr)
            return qenag_print_error(QENAG_ERR_BAD_VECTOR, name, nullptr, -1);
        int count = atoi(attrs[pos + 1]);
        if (count < 0) // outside the data model: treat the vector as broken
            return qenag_print_error(QENAG_ERR_BAD_VECTOR, name, nullptr, -1);
        for (int i = 0; i < count; ++i)
            if (attrs[pos + 2 + i] == nullptr)
                return qenag_print_error(QENAG_ERR_BAD_VECTOR, name, nullptr, -1);
        pos += 2 + count;
    }
}

int qenag_get_attr_value(char** attrs, const char* name, char** value, int& index, int element)
{
    if (value == nullptr)
        return qenag_print_error(QENAG_ERR_NULL_VALUE_OUT, nullptr, nullptr, -1);
    int rc = qenag_get_attr_index(attrs, name, index);
    if (rc != QENAG_OK)
        return rc;
    char* count_text = attrs[index + 1];
    if (count_text == nullptr)
        return qenag_print_error(QENAG_ERR_BAD_VECTOR, name, nullptr, -1);
    if (element < 1) {
        *value = count_text;
        return QENAG_OK;
    }
    if (element > atoi(count_text))
        return qenag_print_error(QENAG_ERR_BAD_INDEX, name, count_text, element);
    for (int i = 1; i <= element; ++i)
        if (attrs[index + 1 + i] == nullptr)
            return qenag_print_error(QENAG_ERR_BAD_VECTOR, name, nullptr, -1);
    *value = attrs[index + 1 + element];
    return QENAG_OK;
}

int qenag_get_attr_value(char** attrs, const char* name, char** value)
{
    int index = -1;
    return qenag_get_attr_value(attrs, name, value, index, 0);
}

int qenag_get_attr_value(char** attrs, const char* name, int& number, int& index, int element)
{
    char* text = nullptr;
    int rc = qenag_get_attr_value(attrs, name, &text, index, element);
    if (rc == QENAG_OK)
        number = atoi(text);
    return rc;
}

int qenag_get_attr_value(char** attrs, const char* name, int& number)
{
    int index = -1;
    return qenag_get_attr_value(attrs, name, number, index, 0);
}

extern "C" int qenag_squeeze_spaces(char* text, char** first)
{
    if (first != nullptr)
        *first = nullptr;
    if (text == nullptr || *text == '\0')
        return -1;
    char* save = nullptr;
    char* word = strtok_r(text, kSeparators, &save);
    if (word == nullptr)
        return -1;
    if (first != nullptr)
        *first = word;
    return strtok_r(nullptr, kSeparators, &save) != nullptr ? 1 : 0;
}

extern "C" int str_chomp(char* text)
{
    if (text == nullptr || *text == '\0')
        return 0;
    size_t len = strlen(text);
    if (text[len - 1] != '\n')
        return 0;
    text[len - 1] = '\0';
    return 1;
}

extern "C" void CloseDir(void* dir)
{
    qen_clear_dead_stack();
    if (dir == nullptr)
        return;
    // closedir may be a cancellation point; this runs from cleanup handlers,
    // also when one is popped with execution in ordinary flow.
    NoCancel guard;
    closedir(static_cast<DIR*>(dir));
}

extern "C" void DelArgList(void* list)
{
    qen_clear_dead_stack();
    delete[] static_cast<char**>(list);
}

#ifndef QENAG_NO_DELPWD
extern "C" void DelPwd(void* buf)
{
    delete[] static_cast<char*>(buf);
}
#endif
