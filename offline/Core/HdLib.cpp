// HdLib
