#include "host/TpxGeometryAttribute.h"

TPX_STATUS Tpx_LineAttribute::GetStartPoint(TPX_PNT32& p) const {
  p = m_start;
  return TPX_OK;
}

TPX_STATUS Tpx_LineAttribute::GetEndPoint(TPX_PNT32& p) const {
  p = m_end;
  return TPX_OK;
}

TPX_STATUS Tpx_EllipseAttribute::GetCenterPoint(TPX_PNT32& c) const {
  c = m_centre;
  return TPX_OK;
}

TPX_STATUS Tpx_EllipseAttribute::GetXYZDir(TPX_DIR32& x, TPX_DIR32& y, TPX_DIR32& z) const {
  x = m_x;
  y = m_y;
  z = m_z;
  return TPX_OK;
}

TPX_STATUS Tpx_EllipseAttribute::GetStartPoint(TPX_PNT32& p) const {
  p = m_start;
  return TPX_OK;
}

TPX_STATUS Tpx_EllipseAttribute::GetEndPoint(TPX_PNT32& p) const {
  p = m_end;
  return TPX_OK;
}
