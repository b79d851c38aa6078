#include "dialogs/drive_cpu_firm_load_dialogs.h"

#include "dialogs/firm_load_template.h"

CMainDrvCpuFirmLoadDialog::CMainDrvCpuFirmLoadDialog(CScanner& scanner)
    : CProcessorFirmLoadDialog(scanner, firm_load::kMainDriveTemplateId) {}

ProcessorRow CMainDrvCpuFirmLoadDialog::chooseRow() const {
    return MainDriveRow();
}

CSubDrvCpuFirmLoadDialog::CSubDrvCpuFirmLoadDialog(CScanner& scanner)
    : CProcessorFirmLoadDialog(scanner, firm_load::kSubDriveTemplateId) {}

ProcessorRow CSubDrvCpuFirmLoadDialog::chooseRow() const {
    return SubDriveRow(scanner_);
}

CAuthCpuFirmLoadDialog::CAuthCpuFirmLoadDialog(CScanner& scanner)
    : CProcessorFirmLoadDialog(scanner, firm_load::kMainDriveTemplateId) {}

ProcessorRow CAuthCpuFirmLoadDialog::chooseRow() const {
    return AuthenticationRow(scanner_);
}
