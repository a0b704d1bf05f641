// SdLib
