#pragma once
// Every seam the run talks through, made by the entry point.
#include "platform/CertificateStores.h"
#include "platform/FileSystem.h"
#include "platform/Installer.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/Restarter.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

namespace qv {

struct Platform {
    Installer& installer;
    FileSystem& files;
    Registry& registry;
    Processes& processes;
    CertificateStores& certificates;
    Ui& ui;
    Resources& resources;
    SystemInfo& system;
    Restarter& restarter;
};

}  // namespace qv
