// Frame of the toolbox: the class-wide values the host sets, document
// fallback and text conversion.
#include "graphops/CGraphOperation.h"

#include "host/SoKRN_MainDoc.h"
#include "platform/Platform.h"

// Zero-initialised at load; written only by their setters.
SoNode* CGraphOperation::m_pActiveSceneGraph = nullptr;
SoKRN_MainDoc* CGraphOperation::m_pActiveMainDocKit = nullptr;
float CGraphOperation::m_InitCamHeight = 0.0f;

SoNode* CGraphOperation::GetActiveSceneGraph() { return m_pActiveSceneGraph; }

void CGraphOperation::SetActiveSceneGraph(SoNode* root) { m_pActiveSceneGraph = root; }

SoKRN_MainDoc* CGraphOperation::GetActiveMainDocKit() { return m_pActiveMainDocKit; }

void CGraphOperation::SetActiveMainDocKit(SoKRN_MainDoc* doc) { m_pActiveMainDocKit = doc; }

float CGraphOperation::GetInitCameraHeight() { return m_InitCamHeight; }

void CGraphOperation::SetInitCameraHeight(float height) { m_InitCamHeight = height; }

SoKRN_MainDoc* CGraphOperation::ResolveDoc(SoKRN_MainDoc* doc) { return doc ? doc : m_pActiveMainDocKit; }

std::wstring CGraphOperation::StringToWString(const std::string& s) {
  // Like the C string it usually came from, the text ends at its first NUL.
  return vx::platform::NarrowToWide(std::string(s.c_str()));
}
