/* A new browser window that shows the toolbar and the support page, for
   registration. Runs on the registering thread, which has COM initialised. */
#include "browser/browser.h"
#include "core/limits.h"

static HRESULT ShowBandBar(IWebBrowser2 *browser)
{
    WCHAR clsid[64];
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, VELMORA_CLSID_TEXT, -1, clsid, 64);
    VARIANT bar, show, size;
    VariantInit(&bar);
    VariantInit(&show);
    VariantInit(&size);
    V_VT(&bar) = VT_BSTR;
    V_BSTR(&bar) = SysAllocString(clsid);
    V_VT(&show) = VT_BOOL;
    V_BOOL(&show) = VARIANT_TRUE;
    HRESULT hr = IWebBrowser2_ShowBrowserBar(browser, &bar, &show, &size);
    VariantClear(&bar);
    return hr;
}

HRESULT ShowBandInNewBrowser(void)
{
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Internetexplorer.Application", &clsid);
    if (FAILED(hr))
        return hr;
    IWebBrowser2 *browser = NULL;
    hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IWebBrowser2, (void **)&browser);
    if (FAILED(hr))
        return hr;
    hr = IWebBrowser2_put_Visible(browser, VARIANT_TRUE);
    if (SUCCEEDED(hr)) {
        (void)IWebBrowser2_Stop(browser);
        hr = ShowBandBar(browser);
    }
    if (SUCCEEDED(hr)) {
        WCHAR url[URL_SIZE];
        (void)LoadProductPageUrl(url, TRUE);
        (void)NavigateBrowser(browser, url, 0);
        hr = S_OK;
    }
    IWebBrowser2_Release(browser);
    return hr;
}
