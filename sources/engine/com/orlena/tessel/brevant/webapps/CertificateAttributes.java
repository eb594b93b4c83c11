package com.orlena.tessel.brevant.webapps;

import java.util.LinkedHashMap;
import java.util.Map;

/**
 * The request attributes made from a client-certificate descriptor ("&DN#subject&IN#issuer
 * &SN#serial&END&", each field present only when the web server had it). The connectors
 * pass no certificate itself, so there is no X509Certificate attribute: these three texts
 * are what an application gets.
 */
final class CertificateAttributes {
    static final String SUBJECT = "com.orlena.tessel.brevant.certificate.subject";
    static final String ISSUER = "com.orlena.tessel.brevant.certificate.issuer";
    static final String SERIAL_NUMBER = "com.orlena.tessel.brevant.certificate.serialNumber";

    private static final String[] TAGS = {"&DN#", "&IN#", "&SN#", "&END&"};
    private static final String[] NAMES = {SUBJECT, ISSUER, SERIAL_NUMBER};

    private CertificateAttributes() {
    }

    /** Attribute name to value, for the fields the descriptor has; empty for null or "&END&". */
    static Map<String, String> of(String descriptor) {
        Map<String, String> attributes = new LinkedHashMap<>();
        if (descriptor == null) {
            return attributes;
        }
        int from = 0;
        for (int field = 0; field < NAMES.length; field++) {
            int start = descriptor.indexOf(TAGS[field], from);
            if (start < 0) {
                continue;
            }
            start += TAGS[field].length();
            int end = nextTag(descriptor, start, field + 1);
            if (end < 0) {
                break;
            }
            attributes.put(NAMES[field], descriptor.substring(start, end));
            from = end;
        }
        return attributes;
    }

    /** Where the first of the tags after `field` begins, or -1 when none follows. */
    private static int nextTag(String descriptor, int from, int field) {
        for (int tag = field; tag < TAGS.length; tag++) {
            int at = descriptor.indexOf(TAGS[tag], from);
            if (at >= 0) {
                return at;
            }
        }
        return -1;
    }
}
