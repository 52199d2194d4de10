/* The version numbers of this build as preprocessor macros, for the resource compiler and for
 * BuildConstants.h alike. */
#ifndef CDK_BUILD_VERSION_H
#define CDK_BUILD_VERSION_H

#define CDK_VERSION_MAJOR 3
#define CDK_VERSION_MINOR 6
#define CDK_VERSION_MICRO 0
#define CDK_VERSION_BUILD 11
#define CDK_PRODUCT_VERSION_TEXT "3.6.0_09"
#define CDK_FULL_VERSION_TEXT "3.6.0_09-b11"
#define CDK_UPDATER_VERSION_TEXT "5.6.09.11"
#define CDK_PRODUCT_NAME "Corvid Development Kit"
#define CDK_COMPANY_NAME "Tarnwell"

#endif
