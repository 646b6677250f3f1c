// The program's packed pictures: one image descriptor per picture, generated
// by imagepack from the PNGs in art/ (see images.cmake for the list and sizes).
#ifndef RINGWATCHER_IMAGES_IMAGES_H
#define RINGWATCHER_IMAGES_IMAGES_H

#include "platform/tap.h"

// Status window: bars, picture frame, call icons, symbols.
TAP_EXPORT const TYPE_GrData _fritzmaincallGd;
TAP_EXPORT const TYPE_GrData _fritzmainmsgGd;
TAP_EXPORT const TYPE_GrData _covermainGd;
TAP_EXPORT const TYPE_GrData _callinGd;
TAP_EXPORT const TYPE_GrData _calloutGd;
TAP_EXPORT const TYPE_GrData _callinendGd;
TAP_EXPORT const TYPE_GrData _calloutendGd;
TAP_EXPORT const TYPE_GrData _callmissedGd;
TAP_EXPORT const TYPE_GrData _telephonGd;
TAP_EXPORT const TYPE_GrData _durationGd;
TAP_EXPORT const TYPE_GrData _lineGd;
TAP_EXPORT const TYPE_GrData _attentionGd;

// Status window: error images, one per kind of failure.
TAP_EXPORT const TYPE_GrData _errorloadiniGd;
TAP_EXPORT const TYPE_GrData _errorininiGd;
TAP_EXPORT const TYPE_GrData _errorloadadrbookGd;
TAP_EXPORT const TYPE_GrData _errorinadrbookGd;
TAP_EXPORT const TYPE_GrData _errormemoryGd;
TAP_EXPORT const TYPE_GrData _errorentriesadrbookGd;
TAP_EXPORT const TYPE_GrData _errorconnection2Gd;

// Book window.
TAP_EXPORT const TYPE_GrData _backteladrGd;
TAP_EXPORT const TYPE_GrData _symboladrbookGd;
TAP_EXPORT const TYPE_GrData _symbolcalllistGd;
TAP_EXPORT const TYPE_GrData _headeradrbookGd;
TAP_EXPORT const TYPE_GrData _headercalllistGd;
TAP_EXPORT const TYPE_GrData _sbselGd;
TAP_EXPORT const TYPE_GrData _piccoverGd;
TAP_EXPORT const TYPE_GrData _callclockadrbookGd;
TAP_EXPORT const TYPE_GrData _linegreenGd;
TAP_EXPORT const TYPE_GrData _lineredGd;
TAP_EXPORT const TYPE_GrData _lineblueGd;

#endif
