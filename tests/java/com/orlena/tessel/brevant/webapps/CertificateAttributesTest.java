package com.orlena.tessel.brevant.webapps;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

public class CertificateAttributesTest {
    private static final String PREFIX = "com.orlena.tessel.brevant.certificate.";

    @Test
    public void eachFieldTheDescriptorHasBecomesOneAttribute() {
        String[][] cases = {
            {"&DN#C=US, CN=ann CN=www&IN#CN=ca&SN#100f0e&END&",
             "{" + PREFIX + "subject=C=US, CN=ann CN=www, " + PREFIX + "issuer=CN=ca, " + PREFIX + "serialNumber=100f0e}"},
            {"&IN#CN=ca&END&", "{" + PREFIX + "issuer=CN=ca}"},
            {"&DN#CN=ann&SN#01&END&", "{" + PREFIX + "subject=CN=ann, " + PREFIX + "serialNumber=01}"},
            {"&END&", "{}"},
            {"&DN#CN=cut off", "{}"},
        };
        for (String[] c : cases) {
            assertEquals(c[0], c[1], CertificateAttributes.of(c[0]).toString());
        }
        assertEquals("{}", CertificateAttributes.of(null).toString());
    }
}
