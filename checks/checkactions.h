#pragma once

#include "checkaction.h"

// The eight environment checks. Each is constructed with its name, "false", its translated failure
// message and hint, and changes them only when it passes.

class CheckPatchAction : public CheckAction
{
    Q_OBJECT
public:
    CheckPatchAction();
    bool check() override;
};

class CheckDmBitsAction : public CheckAction
{
    Q_OBJECT
public:
    CheckDmBitsAction();
    bool check() override;
};

class CheckOpenGLAction : public CheckAction
{
    Q_OBJECT
public:
    CheckOpenGLAction();
    bool check() override;
};

class CheckDNFConflictAction : public CheckAction
{
    Q_OBJECT
public:
    CheckDNFConflictAction();
    bool check() override;
};

class CheckMemoryAction : public CheckAction
{
    Q_OBJECT
public:
    CheckMemoryAction();
    bool check() override;
};

class CheckVTOpenStautsAction : public CheckAction
{
    Q_OBJECT
public:
    CheckVTOpenStautsAction();
    bool check() override;
};

class CheckVTOccupiedStautsAction : public CheckAction
{
    Q_OBJECT
public:
    CheckVTOccupiedStautsAction();
    bool check() override;
};

class CheckGraphicsAction : public CheckAction
{
    Q_OBJECT
public:
    CheckGraphicsAction();
    bool check() override;
};

// The source texts (untranslated) of every check: name, failure message, failure hint, pass message and
// pass hint (always "passed"; CheckAction::pass translates it in the check's own context).
struct CheckSourceTexts
{
    const char *name;
    const char *failureMessage;
    const char *failureHint;
    const char *passMessage;
    const char *passHint;
};
extern const CheckSourceTexts kCheckSourceTexts[8];
