// The classes this server can create: one, the ASIO driver object.
#include "AsioSample.h"
#include "ComBase.h"
#include "DriverIdentity.h"

const ClassTemplate classTemplates[] = {
    {L"Quenvora-K9 USB Audio ASIO", &CLSID_QvK9Asio, CreateAsioSample, nullptr},
};

const int classTemplateCount = sizeof(classTemplates) / sizeof(classTemplates[0]);
