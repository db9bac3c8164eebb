// Resources the installer carries: the certificate tool's image and the maker's certificate.
#pragma once

#define IDR_CERTIFICATE_TOOL 101
#define IDR_CERTIFICATE 102
