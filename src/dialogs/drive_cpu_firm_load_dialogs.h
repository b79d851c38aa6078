#pragma once

#include "dialogs/processor_firm_load_dialog.h"

// The main drive processor (template 197).
class CMainDrvCpuFirmLoadDialog : public CProcessorFirmLoadDialog {
public:
    explicit CMainDrvCpuFirmLoadDialog(CScanner& scanner);

protected:
    ProcessorRow chooseRow() const override;
};

// The sub drive processor (template 198). On a model it does not know it
// asks the scanner nothing and ends with "Failure Loading".
class CSubDrvCpuFirmLoadDialog : public CProcessorFirmLoadDialog {
public:
    explicit CSubDrvCpuFirmLoadDialog(CScanner& scanner);

protected:
    ProcessorRow chooseRow() const override;
};

// The authentication processor (template 197). Only the SX-470M is sent its
// commands; on any other model the run writes and reads back nothing.
class CAuthCpuFirmLoadDialog : public CProcessorFirmLoadDialog {
public:
    explicit CAuthCpuFirmLoadDialog(CScanner& scanner);

protected:
    ProcessorRow chooseRow() const override;
};
